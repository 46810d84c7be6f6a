#include "disk/partition_table.h"

#include <algorithm>

#include "disk/boot_program.h"
#include "disk/le.h"

std::array<std::uint8_t, 3> chs_address(std::uint64_t sector, const disk_geometry_s& geometry)
{
    // The sector number is taken as a signed 32-bit value and divided with truncation toward
    // zero, as the table's 32-bit fields are.
    const std::int64_t s = static_cast<std::int32_t>(static_cast<std::uint32_t>(sector));
    const std::int64_t heads = geometry.tracks_per_cylinder;
    const std::int64_t per_track = geometry.sectors_per_track;
    if (heads == 0 || per_track == 0)
        return {0, 0, 0};
    const std::int64_t track = s / per_track;
    const std::int64_t head = track % heads;
    const std::int64_t cylinder = track / heads;
    const std::int64_t sec = s % per_track + 1;
    return {static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(sec | ((cylinder >> 2) & 0xC0)),
            static_cast<std::uint8_t>(cylinder)};
}

void build_partition_entry(std::span<std::uint8_t, MBR_EntrySize> entry, const partition_item_s& partition,
                           const disk_geometry_s& geometry, bool first)
{
    if (first)
        entry[0] = 0x80;
    const auto start = chs_address(partition.start_sector, geometry);
    const auto end = chs_address(partition.end_sector, geometry);
    std::copy(start.begin(), start.end(), entry.begin() + 1);
    entry[4] = static_cast<std::uint8_t>(partition.type);
    std::copy(end.begin(), end.end(), entry.begin() + 5);
    const auto lo_start = static_cast<std::uint32_t>(partition.start_sector);
    const auto lo_end = static_cast<std::uint32_t>(partition.end_sector);
    put_le32(entry, 8, lo_start);
    put_le32(entry, 12, lo_end - lo_start + 1);
}

std::array<std::uint8_t, 512> build_master_boot_record(std::span<const std::uint8_t, 512> old_sector,
                                                       const QList<partition_item_s>& partitions,
                                                       const disk_geometry_s& geometry)
{
    std::array<std::uint8_t, 512> mbr{};
    std::copy(old_sector.begin(), old_sector.end(), mbr.begin());
    const auto program = boot_program();
    std::copy(program.begin(), program.end(), mbr.begin());
    mbr[MBR_Signature] = 0x55;
    mbr[MBR_Signature + 1] = 0xAA;
    const qsizetype count = std::min<qsizetype>(partitions.size(), MBR_Entries);
    for (qsizetype e = 0; e < count; ++e) {
        std::span<std::uint8_t, MBR_EntrySize> entry(mbr.data() + MBR_PartitionTable + e * MBR_EntrySize,
                                                     MBR_EntrySize);
        build_partition_entry(entry, partitions[e], geometry, e == 0);
    }
    return mbr;
}
