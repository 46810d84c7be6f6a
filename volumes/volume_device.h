#pragma once
// Opens a volume by its volume path for reading: a partition device (/dev/sdb1), a whole
// disk, or IMAGE-PATH@pN, a partition of a disk image (p0: an image without a partition
// table, as a whole).
#include <QString>
#include <memory>
#include <optional>

#include "disk/block_device.h"
#include "volumes/volume_item.h"

// A volume path of the form IMAGE-PATH@pN, taken apart: the image file and N. The one place
// that reads this form; nothing when the path does not have it or names no existing file.
struct image_volume_s {
    QString image;  // as given, relative or absolute
    int partition = 0;
};
std::optional<image_volume_s> parse_image_volume(const QString& volume_path);

// Finds a volume of the machine as it is now (the drive list's image files and block
// devices), by its path or by its drive and partition numbers, with where it lies; for
// the layers that are handed a name rather than a volume item.
std::optional<volume_item_s> find_volume(const QString& volume_path);
std::optional<volume_item_s> find_volume(std::int32_t disk_number, std::int32_t partition_number);

// Opens a volume by its path alone, reading the image's partition table to find it.
std::unique_ptr<block_device> open_volume(const QString& volume_path, QString* error = nullptr);

// Opens a listed volume where its item says it lies (first sector and length on its image),
// without reading any partition table again; a partition device opens as itself. An item
// without a length is found by its path.
std::unique_ptr<block_device> open_volume(const volume_item_s& volume, QString* error = nullptr);

// Whether a folder (or, while it does not exist yet, the nearest folder above it that does)
// lies on the volume: on the file system of the volume's own block device, or on the same
// device as the volume's mount folder when it is mounted. Devices are compared, never the
// paths' first characters. An image volume that is not mounted: false.
bool folder_on_volume_device(const QString& folder, const volume_item_s& volume);
