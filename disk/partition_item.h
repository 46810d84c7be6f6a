#pragma once
// One partition found by the partition search.
#include <QMetaType>
#include <QString>
#include <cstdint>

struct partition_item_s {
    QString file_system;    // "NTFS", "FAT32" or "exFAT"
    std::int32_t type = 0;  // partition type byte for a table entry: 7 NTFS and exFAT, 12 FAT32
    // In the drive's own sectors (512 bytes, or 4096 on a 4K-sector disk), as its partition
    // table counts them.
    std::uint64_t start_sector = 0;  // the boot sector, counted from sector 0 of the drive
    std::uint64_t end_sector = 0;    // the last sector, inclusive

    bool operator==(const partition_item_s&) const = default;
};

Q_DECLARE_METATYPE(partition_item_s)
