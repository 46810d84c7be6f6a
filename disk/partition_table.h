#pragma once
// Building a master boot record from found partitions: pure functions over bytes, so that
// the repair's write path stays a short sequence of checked steps.
#include <QList>
#include <array>
#include <cstdint>
#include <span>

#include "disk/drive_item.h"
#include "disk/partition_item.h"

constexpr std::size_t MBR_DiskSignature = 440;
constexpr std::size_t MBR_PartitionTable = 446;
constexpr std::size_t MBR_EntrySize = 16;
constexpr std::size_t MBR_Entries = 4;
constexpr std::size_t MBR_Signature = 510;

// The three CHS bytes of a sector on the drive's geometry: head; sector with cylinder bits
// 8 and 9 on top; the cylinder's low 8 bits. Cylinders above 1023 wrap.
std::array<std::uint8_t, 3> chs_address(std::uint64_t sector, const disk_geometry_s& geometry);

// One 16-byte table entry. The status byte is 0x80 for the first entry; the others keep the
// status byte that `entry` already holds.
void build_partition_entry(std::span<std::uint8_t, MBR_EntrySize> entry, const partition_item_s& partition,
                           const disk_geometry_s& geometry, bool first);

// The new sector 0: our boot program, the old disk signature and the two bytes after it,
// one entry for each of the first four partitions (the entries without a partition keep
// their old bytes) and the boot signature.
std::array<std::uint8_t, 512> build_master_boot_record(std::span<const std::uint8_t, 512> old_sector,
                                                       const QList<partition_item_s>& partitions,
                                                       const disk_geometry_s& geometry);
