#pragma once
// The geometry of a drive and the drive record that the drive list holds.
#include <QMetaType>
#include <QString>
#include <cstdint>
#include <optional>

constexpr std::uint64_t sector_size = 512;  // sectors are 512 bytes throughout, whatever the drive says

struct disk_geometry_s {
    std::int64_t cylinders = 0;
    std::uint32_t media_type = 0;  // kept for the record layout; not used
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;

    // The geometry's product. It leaves out the sectors after the last whole cylinder,
    // which is what the partition search measures against.
    std::uint64_t size() const
    {
        return static_cast<std::uint64_t>(cylinders) * tracks_per_cylinder * sectors_per_track * bytes_per_sector;
    }
};

// One drive: a whole block device (/dev/sda) or a disk image file (its absolute path).
// The blank item (empty path, no geometry) stands first in the drive list as its header row.
struct drive_item_s {
    QString path;
    std::uint64_t size = 0;
    std::optional<disk_geometry_s> geometry;
};

// The drive's logical sector size, in which its partition table counts: 512 unless the
// device reports another (a 4K-sector disk).
inline std::uint64_t drive_sector_bytes(const drive_item_s& d)
{
    const std::uint32_t b = d.geometry ? d.geometry->bytes_per_sector : 512;
    return b >= 512 && b <= 65536 && (b & (b - 1)) == 0 ? b : 512;
}

Q_DECLARE_METATYPE(drive_item_s)
