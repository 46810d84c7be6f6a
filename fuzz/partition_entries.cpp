// The repair's plan and the new sector 0 from arbitrary old tables, found partitions and
// geometries: zero heads or sectors, starts and ends past 2^32, entries outside the drive.
#include <algorithm>
#include <cstring>

#include "disk/boot_program.h"
#include "disk/le.h"
#include "disk/partition_table.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

namespace {

struct input_reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    template <typename T>
    T take()
    {
        T v{};
        const std::size_t n = std::min(sizeof v, size - at);
        std::memcpy(&v, data + at, n);
        at += n;
        return v;
    }
};

}  // namespace

int fuzz_partition_entries(const std::uint8_t* data, std::size_t size)
{
    input_reader in{data, size};
    disk_geometry_s geometry;
    geometry.cylinders = in.take<std::int64_t>();
    geometry.tracks_per_cylinder = in.take<std::uint32_t>();
    geometry.sectors_per_track = in.take<std::uint32_t>();
    geometry.bytes_per_sector = 512;
    const int count = in.take<std::uint8_t>() % 7;
    QList<partition_item_s> partitions;
    for (int i = 0; i < count; ++i) {
        partition_item_s p;
        const bool ntfs = in.take<std::uint8_t>() & 1;
        p.file_system = ntfs ? "NTFS" : "FAT32";
        p.type = ntfs ? 7 : 12;
        p.start_sector = in.take<std::uint64_t>();
        p.end_sector = std::max(p.start_sector, in.take<std::uint64_t>());
        partitions.append(p);
    }
    // As the search gives them: in start order, none overlapping the one before.
    std::sort(partitions.begin(), partitions.end(),
              [](const partition_item_s& a, const partition_item_s& b) { return a.start_sector < b.start_sector; });
    for (qsizetype i = 1; i < partitions.size();)
        if (partitions[i].start_sector <= partitions[i - 1].end_sector)
            partitions.removeAt(i);
        else
            ++i;
    std::array<std::uint8_t, 512> old{};
    for (std::uint8_t& b : old)
        b = in.take<std::uint8_t>();
    std::uint64_t drive_sectors = in.take<std::uint64_t>();
    if (drive_sectors == 0)
        drive_sectors = ~0ull;
    const std::array<std::uint8_t, 512> sector1{};

    const table_plan_s plan = plan_partition_table(old, sector1, partitions, drive_sectors);
    if (plan.refusal != repair_refusal_e::none) {
        FUZZ_CHECK(!plan.reason.isEmpty());
        return 0;
    }
    const QList<table_entry_s>& entries = plan.new_entries;
    FUZZ_CHECK(!entries.isEmpty() && entries.size() <= static_cast<qsizetype>(MBR_Entries));
    bool active = false;
    for (qsizetype e = 0; e < entries.size(); ++e) {
        const table_entry_s& n = entries[e];
        FUZZ_CHECK(n.sector_count != 0 && n.start_sector <= mbr_sector_limit && n.sector_count <= mbr_sector_limit);
        FUZZ_CHECK(n.fate != entry_fate_e::kept ||
                   (n.start_sector >= 1 && n.start_sector + n.sector_count <= drive_sectors));
        // No two written entries overlap.
        FUZZ_CHECK(e == 0 || entries[e - 1].end_sector() < n.start_sector);
        active = active || (n.status & 0x80);
    }
    FUZZ_CHECK(active);
    // Every found partition is written, or lies inside an old entry that is kept.
    for (const partition_item_s& p : partitions) {
        const bool written = std::any_of(entries.begin(), entries.end(), [&](const table_entry_s& n) {
            return n.fate != entry_fate_e::kept && n.start_sector == p.start_sector;
        });
        FUZZ_CHECK(written != plan.inside_kept.contains(p));
    }
    // Every old entry is kept, replaced or dropped with a reason.
    for (const table_entry_s& o : plan.old_entries)
        FUZZ_CHECK(o.fate == entry_fate_e::kept || !o.note.isEmpty());

    const std::array<std::uint8_t, 512> mbr = build_master_boot_record(old, entries, geometry);
    const auto program = boot_program();
    FUZZ_CHECK(std::equal(program.begin(), program.end(), mbr.begin()));
    FUZZ_CHECK(
        std::equal(old.begin() + MBR_DiskSignature, old.begin() + MBR_PartitionTable, mbr.begin() + MBR_DiskSignature));
    FUZZ_CHECK(mbr[510] == 0x55 && mbr[511] == 0xAA);
    const std::span<const std::uint8_t> bytes(mbr);
    for (std::size_t e = 0; e < MBR_Entries; ++e) {
        const std::size_t at = MBR_PartitionTable + e * MBR_EntrySize;
        if (e >= static_cast<std::size_t>(entries.size())) {
            FUZZ_CHECK(
                std::all_of(mbr.begin() + at, mbr.begin() + at + MBR_EntrySize, [](std::uint8_t b) { return b == 0; }));
            continue;
        }
        const table_entry_s& n = entries[static_cast<qsizetype>(e)];
        FUZZ_CHECK(mbr[at] == n.status);
        FUZZ_CHECK(mbr[at + 4] == n.type);
        FUZZ_CHECK(le32(bytes, at + 8) == n.start_sector);
        FUZZ_CHECK(le32(bytes, at + 12) == n.sector_count);
    }
    return 0;
}
