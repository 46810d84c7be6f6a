#pragma once
// Building a master boot record from found partitions: pure functions over bytes, so that
// the repair's write path stays a short sequence of checked steps.
//
// The new table is planned from two sources: the partitions the search found and the entries
// the old sector 0 holds. Nothing that is in use and does not conflict with a found partition
// is dropped, no two written entries overlap, and a plan that cannot be written as four
// entries (or a disk that uses GPT) is refused as a whole.
#include <QList>
#include <QString>
#include <QStringList>
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

// The largest sector number and sector count an entry's 32-bit fields can hold.
constexpr std::uint64_t mbr_sector_limit = 0xFFFFFFFFull;

// The three CHS bytes of a sector on the drive's geometry: head; sector with cylinder bits
// 8 and 9 on top; the cylinder's low 8 bits. Cylinders above 1023 wrap.
std::array<std::uint8_t, 3> chs_address(std::uint64_t sector, const disk_geometry_s& geometry);

// One 16-byte table entry. The status byte is 0x80 for the first entry; the others keep the
// status byte that `entry` already holds.
void build_partition_entry(std::span<std::uint8_t, MBR_EntrySize> entry, const partition_item_s& partition,
                           const disk_geometry_s& geometry, bool first);

// What becomes of an entry. In the old table: kept, replaced (a found partition starts where
// it starts) or dropped. In the new table: kept, replaced (the found partition that took an
// old entry's place) or found (a partition that had no entry).
enum class entry_fate_e { kept, found, replaced, dropped };

// One entry of the old or the new table.
struct table_entry_s {
    int slot = 0;             // 1-4: its place in the old table; 0 for a found partition
    std::uint8_t status = 0;  // 0x80 active
    std::uint8_t type = 0;
    std::uint64_t start_sector = 0;
    std::uint64_t sector_count = 0;
    QString file_system;  // the search's name for a found partition, else a name for the type
    entry_fate_e fate = entry_fate_e::kept;
    QString note;  // why an old entry is dropped, or which old entry a found one lies in
    std::array<std::uint8_t, MBR_EntrySize> bytes{};  // an old entry's own bytes

    std::uint64_t end_sector() const { return start_sector + sector_count - 1; }
};

// Why a repair writes nothing.
enum class repair_refusal_e {
    none,
    no_drive,        // no drive was searched, or it cannot be read
    search_running,  // a search is running
    nothing_found,   // no partition was found
    gpt_disk,        // the disk is partitioned with GPT
    too_many,        // the new table would need more than four entries
    beyond_mbr,      // a partition lies past what a master boot record's 32-bit fields hold
    search_stopped,  // the search was stopped, and only a whole search may be written
};

// The repair's plan: the old table, the new one, and the reason when it cannot be written.
struct table_plan_s {
    QList<table_entry_s> old_entries;     // the old table's entries with a type, in slot order
    QList<table_entry_s> new_entries;     // what is written, in start order (at most four)
    QList<partition_item_s> inside_kept;  // found partitions inside a kept entry: not written
    repair_refusal_e refusal = repair_refusal_e::none;
    QString reason;  // empty when the plan can be written
};

// The words a description of a plan is written in; English unless the caller translates them.
struct plan_words_s {
    QString now = QStringLiteral("now");
    QString after = QStringLiteral("after the repair");
    QString empty = QStringLiteral("(empty)");
    QString nothing_written = QStringLiteral("(nothing written)");
    QString kept = QStringLiteral("kept");
    QString found = QStringLiteral("found");
    QString replaced = QStringLiteral("replaced");
    QString dropped = QStringLiteral("dropped");
};

// An entry's fate in the given words (the English ones name it in JSON documents too).
QString entry_fate_name(entry_fate_e fate, const plan_words_s& words = {});

// The old table and the new one side by side, one line a row (start-end, type byte, file
// system, fate; * for the active entry), for a fixed-width font; then one line per note, so
// that a repair is asked about what will really be written.
QStringList describe_table_plan(const table_plan_s& plan, const plan_words_s& words = {});

// A short name for a partition type byte ("NTFS/exFAT", "FAT32", "Linux", "extended", ...).
QString partition_type_name(std::uint8_t type);

// Whether an old entry's type marks an extended partition, whose logical partitions lie
// inside it.
bool is_extended_type(std::uint8_t type);

// True when the disk uses GPT: sector 0 holds a protective entry of type 0xEE, or sector 1
// starts with "EFI PART" and its header's CRC-32 holds.
bool is_gpt_disk(std::span<const std::uint8_t, 512> sector0, std::span<const std::uint8_t, 512> sector1);

// Plans the new table from the old sector 0 (and sector 1, for the GPT check), the found
// partitions in ascending start order and the drive's size in sectors.
table_plan_s plan_partition_table(std::span<const std::uint8_t, 512> sector0,
                                  std::span<const std::uint8_t, 512> sector1, const QList<partition_item_s>& found,
                                  std::uint64_t drive_sectors);

// The new sector 0: our boot program, the old disk signature and the two bytes after it, the
// planned entries in order (old entries with their own bytes, found ones built on the
// geometry), zeros in the unused entries, and the boot signature.
std::array<std::uint8_t, 512> build_master_boot_record(std::span<const std::uint8_t, 512> old_sector,
                                                       const QList<table_entry_s>& entries,
                                                       const disk_geometry_s& geometry);
