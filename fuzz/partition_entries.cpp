// Table entries and the new sector 0 from arbitrary partitions and geometries: zero heads or
// sectors, starts and ends past 2^32, ends before starts.
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
        p.end_sector = in.take<std::uint64_t>();
        partitions.append(p);
    }
    std::array<std::uint8_t, 512> old{};
    for (std::uint8_t& b : old)
        b = in.take<std::uint8_t>();

    const std::array<std::uint8_t, 512> mbr = build_master_boot_record(old, partitions, geometry);
    const auto program = boot_program();
    FUZZ_CHECK(std::equal(program.begin(), program.end(), mbr.begin()));
    FUZZ_CHECK(std::equal(old.begin() + MBR_DiskSignature, old.begin() + MBR_PartitionTable,
                          mbr.begin() + MBR_DiskSignature));
    FUZZ_CHECK(mbr[510] == 0x55 && mbr[511] == 0xAA);
    const std::span<const std::uint8_t> bytes(mbr);
    for (std::size_t e = 0; e < MBR_Entries; ++e) {
        const std::size_t at = MBR_PartitionTable + e * MBR_EntrySize;
        if (e >= static_cast<std::size_t>(partitions.size())) {
            // An entry without a partition keeps its old bytes.
            FUZZ_CHECK(std::equal(old.begin() + at, old.begin() + at + MBR_EntrySize, mbr.begin() + at));
            continue;
        }
        const partition_item_s& p = partitions[static_cast<qsizetype>(e)];
        FUZZ_CHECK(mbr[at] == (e == 0 ? 0x80 : old[at]));
        FUZZ_CHECK(mbr[at + 4] == p.type);
        FUZZ_CHECK(le32(bytes, at + 8) == static_cast<std::uint32_t>(p.start_sector));
        FUZZ_CHECK(le32(bytes, at + 12) ==
                   static_cast<std::uint32_t>(p.end_sector) - static_cast<std::uint32_t>(p.start_sector) + 1);
    }
    return 0;
}
