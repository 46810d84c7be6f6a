#pragma once
// Opens a volume by its volume path for reading: a partition device (/dev/sdb1), a whole
// disk, or IMAGE-PATH@pN, a partition of a disk image (p0: an image without a partition
// table, as a whole).
#include <QString>
#include <memory>

#include "disk/block_device.h"

std::unique_ptr<block_device> open_volume(const QString& volume_path, QString* error = nullptr);
