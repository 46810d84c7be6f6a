#pragma once
// The process-wide volume lists and the enumeration that rebuilds them: every volume the
// platform knows goes into volume_info_list (CD-ROM and remote volumes left out, and fixed
// ones too without administrator rights), sorted by first mount path; the volumes whose
// partition and disk numbers are known become rows of volume_item_list after a blank item.
#include <QList>

#include "volumes/volume_item.h"
#include "volumes/volume_platform.h"

extern QList<volume_info_s> volume_info_list;
extern QList<volume_item_s> volume_item_list;

// 0 when done, -1 when the platform refuses to start the walk (both lists left empty).
int enumerate_volumes(volume_platform& platform);
// The same over the machine: the image files given to the drive list and the block devices.
int enumerate_volumes();

int read_volume_paths(volume_platform& platform, volume_info_s& info);
int read_volume_info(volume_platform& platform, volume_info_s& info);
int read_volume_disk_numbers(volume_platform& platform, const QString& volume_path, std::int32_t& partition_number,
                             std::int32_t& disk_number);
void build_volume_items();

void register_volume_meta_types();
