#pragma once
// The drives a person names: image files that become drives, and a drive named by its number
// or its path, as the command line and the window take them. Errors come back as text for
// the caller to show; nothing here prints.
#include <QString>
#include <QStringList>
#include <optional>

#include "disk/drive_item.h"

// What a lookup of a named drive or volume found, or why it found nothing.
template <typename item_t>
struct lookup_s {
    std::optional<item_t> item;
    QString error;          // why there is no item
    bool unlisted = false;  // the name is well formed but nothing listed has it
};

// Why an image file cannot become a drive (the system's reason, else "cannot open PATH");
// empty when it can.
QString drive_image_error(const QString& path);

// Makes the image files the first drives and lists the drives again (drive_list). Empty when
// done; else why the first image that cannot be opened cannot, and nothing is changed.
QString use_drive_images(const QStringList& images);

// The image paths with `image` first, unless it is among them already (compared as absolute
// paths).
QStringList with_image(QStringList images, const QString& image);

// Finds the drive a person named: a drive number as the drive list numbers its drives (from
// 0), or a path. An image path becomes a drive, first, without being among `images`; work on
// an image then lists no disk of the machine (hide_machine_disks), so none is opened. A disk
// path beyond the listed drives is taken as it is.
lookup_s<drive_item_s> find_named_drive(const QString& name, QStringList images);
