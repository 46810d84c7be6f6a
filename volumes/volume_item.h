#pragma once
// The description of one logical volume, and the row of the volume list that the volume
// page shows and that a file scan starts from.
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <cstdint>

// What the platform says of one volume. On Linux a volume is a partition of a drive (or a
// drive without a partition table, as partition 0); its volume_path is the partition device
// (/dev/sdb1) or IMAGE-PATH@pN for a partition of a disk image.
struct volume_info_s {
    QString device_name;
    QString volume_path;
    QString label;
    QString file_system;  // "NTFS", "FAT12", "FAT16", "FAT32", "exFAT", others in upper case; empty if unknown
    QString root_path;    // the first mount path, else the device name
    QStringList mount_paths;
    std::uint32_t file_system_flags = 0;
    std::uint32_t drive_type = 0;  // 0 unknown, 2 removable, 3 fixed, 4 remote, 5 CD-ROM
    std::uint64_t total_bytes = 0;
    std::uint64_t free_bytes = 0;
    std::int32_t partition_number = -1;
    std::int32_t disk_number = -1;  // the drive's number in the drive list
    // Where the volume lies on its drive, in 512-byte sectors; the engines read it there.
    std::uint64_t start_sector = 0;
    std::uint64_t sector_count = 0;
};

// A row of the volume list: the same volume in the toolkit's types. The first row of the
// list is a blank item, drawn as the header.
struct volume_item_s {
    QString device_name;
    QString volume_path;
    QString label;
    QString file_system;
    QString root_path;
    QStringList mount_paths;  // left empty
    std::uint32_t file_system_flags = 0;
    std::uint32_t drive_type = 0;
    std::uint64_t total_bytes = 0;
    std::uint64_t free_bytes = 0;
    std::int32_t partition_number = -1;
    std::int32_t disk_number = -1;
    std::uint64_t start_sector = 0;
    std::uint64_t sector_count = 0;
};

Q_DECLARE_METATYPE(volume_item_s)
