#pragma once
// The process-wide list of drives: item 0 is the blank header item, then the image files
// named on the command line in their order, then the machine's whole block devices in name
// order, at most ten drives in all.
#include <QList>
#include <QString>
#include <QStringList>

#include "disk/drive_item.h"

constexpr int max_drives = 10;

extern QList<drive_item_s> drive_list;

// The image files that become drives, kept as absolute paths. Set once from the command line.
void set_drive_images(const QStringList& paths);
QStringList drive_images();

// Rebuilds drive_list. The first drive whose geometry cannot be had ends the list, so the
// drives after it are not looked at. Returns 0.
int enumerate_drives();

// The drives in drive-number order, without the blank item: what enumerate_drives lists.
QList<drive_item_s> list_drives();

// The drive item for a path, or nothing when its geometry cannot be had.
std::optional<drive_item_s> make_drive_item(const QString& path, QString* error = nullptr);

// The whole block devices of the machine in name order; empty when VANTREL_IMAGES_ONLY=1 or
// while they are hidden.
QStringList block_device_paths();

// Hides the machine's disks from the drive list (image files stay, with the same numbers,
// since they come first), so that work on an image never opens a disk of the machine.
void hide_machine_disks(bool hide);

void register_drive_meta_types();
