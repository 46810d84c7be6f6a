#include "disk/partition_table.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <zlib.h>

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

QString partition_type_name(std::uint8_t type)
{
    switch (type) {
    case 0x01:
        return QStringLiteral("FAT12");
    case 0x04:
    case 0x06:
    case 0x0E:
        return QStringLiteral("FAT16");
    case 0x05:
    case 0x0F:
    case 0x85:
        return QStringLiteral("extended");
    case 0x07:
        return QStringLiteral("NTFS/exFAT");
    case 0x0B:
    case 0x0C:
        return QStringLiteral("FAT32");
    case 0x27:
        return QStringLiteral("recovery");
    case 0x82:
        return QStringLiteral("Linux swap");
    case 0x83:
        return QStringLiteral("Linux");
    case 0x8E:
        return QStringLiteral("Linux LVM");
    case 0xA5:
        return QStringLiteral("FreeBSD");
    case 0xAF:
        return QStringLiteral("HFS+");
    case 0xEE:
        return QStringLiteral("GPT protective");
    case 0xEF:
        return QStringLiteral("EFI system");
    case 0xFD:
        return QStringLiteral("Linux RAID");
    default:
        return QStringLiteral("type 0x%1").arg(QString::number(type, 16).toUpper().rightJustified(2, u'0'));
    }
}

bool is_extended_type(std::uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

namespace {

// GPT header fields.
constexpr std::size_t GPT_HeaderSize = 12;
constexpr std::size_t GPT_HeaderCrc = 16;
constexpr std::size_t GPT_MinHeaderSize = 92;

constexpr std::uint8_t status_active = 0x80;
constexpr std::uint8_t type_gpt_protective = 0xEE;

bool overlaps(std::uint64_t a_start, std::uint64_t a_end, std::uint64_t b_start, std::uint64_t b_end)
{
    return a_start <= b_end && b_start <= a_end;
}

QString sectors_text(std::uint64_t start, std::uint64_t end)
{
    return QStringLiteral("%1-%2").arg(start).arg(end);
}

std::uint64_t found_end(const partition_item_s& f)
{
    return std::max(f.end_sector, f.start_sector);
}

}  // namespace

bool is_gpt_disk(std::span<const std::uint8_t, 512> sector0, std::span<const std::uint8_t, 512> sector1)
{
    if (sector0[MBR_Signature] == 0x55 && sector0[MBR_Signature + 1] == 0xAA) {
        for (std::size_t e = 0; e < MBR_Entries; ++e)
            if (sector0[MBR_PartitionTable + e * MBR_EntrySize + 4] == type_gpt_protective)
                return true;
    }
    if (std::memcmp(sector1.data(), "EFI PART", 8) != 0)
        return false;
    // The header's CRC-32 covers its own size with the CRC field taken as zero.
    const std::uint32_t size = le32(sector1, GPT_HeaderSize);
    if (size < GPT_MinHeaderSize || size > sector1.size())
        return false;
    std::array<std::uint8_t, 512> header{};
    std::copy(sector1.begin(), sector1.end(), header.begin());
    put_le32(header, GPT_HeaderCrc, 0);
    const auto crc = static_cast<std::uint32_t>(::crc32(0L, header.data(), size));
    return crc == le32(sector1, GPT_HeaderCrc);
}

table_plan_s plan_partition_table(std::span<const std::uint8_t, 512> sector0,
                                  std::span<const std::uint8_t, 512> sector1, const QList<partition_item_s>& found,
                                  std::uint64_t drive_sectors)
{
    table_plan_s plan;
    for (std::size_t e = 0; e < MBR_Entries; ++e) {
        const std::span<const std::uint8_t> raw =
            sector0.subspan(MBR_PartitionTable + e * MBR_EntrySize, MBR_EntrySize);
        if (raw[4] == 0)
            continue;
        table_entry_s o;
        o.slot = static_cast<int>(e) + 1;
        o.status = raw[0];
        o.type = raw[4];
        o.start_sector = le32(raw, 8);
        o.sector_count = le32(raw, 12);
        o.file_system = partition_type_name(o.type);
        std::copy(raw.begin(), raw.end(), o.bytes.begin());
        plan.old_entries.append(o);
    }

    if (found.isEmpty()) {
        plan.refusal = repair_refusal_e::nothing_found;
        plan.reason = QStringLiteral("no partition was found");
        return plan;
    }
    if (is_gpt_disk(sector0, sector1)) {
        plan.refusal = repair_refusal_e::gpt_disk;
        plan.reason = QStringLiteral("the disk uses GPT; its partition table is not rewritten");
        return plan;
    }

    // Old entries that describe nothing usable, or that collide with each other, are not
    // written again: the old table itself is inconsistent there, and its backup keeps them.
    for (table_entry_s& o : plan.old_entries) {
        if (o.sector_count == 0) {
            o.fate = entry_fate_e::dropped;
            o.note = QStringLiteral("has no sectors");
        } else if (o.start_sector == 0 || o.start_sector + o.sector_count > drive_sectors) {
            o.fate = entry_fate_e::dropped;
            o.note = QStringLiteral("lies outside the drive");
        }
    }
    QList<int> colliding;  // slot of the entry each usable one collides with, or 0
    for (const table_entry_s& o : plan.old_entries) {
        int with = 0;
        for (const table_entry_s& other : plan.old_entries) {
            if (&other != &o && o.fate != entry_fate_e::dropped && other.fate != entry_fate_e::dropped &&
                overlaps(o.start_sector, o.end_sector(), other.start_sector, other.end_sector()))
                with = other.slot;
        }
        colliding.append(with);
    }
    for (qsizetype k = 0; k < plan.old_entries.size(); ++k) {
        if (colliding[k] != 0) {
            plan.old_entries[k].fate = entry_fate_e::dropped;
            plan.old_entries[k].note = QStringLiteral("overlaps old entry %1").arg(colliding[k]);
        }
    }

    // A found partition that starts where an old entry starts replaces it. One that lies
    // wholly inside an old entry further on is its content (a logical partition of an
    // extended one, or an image inside a live file system) and leaves the entry as it is.
    // Any other overlap means the old entry no longer describes the disk.
    for (table_entry_s& o : plan.old_entries) {
        if (o.fate == entry_fate_e::dropped)
            continue;
        for (const partition_item_s& f : found) {
            if (f.start_sector == o.start_sector) {
                o.fate = entry_fate_e::replaced;
                o.note = QStringLiteral("replaced by the found %1 partition").arg(f.file_system);
                break;
            }
            const bool inside = f.start_sector > o.start_sector && found_end(f) <= o.end_sector();
            if (!inside && overlaps(o.start_sector, o.end_sector(), f.start_sector, found_end(f))) {
                o.fate = entry_fate_e::dropped;
                o.note = QStringLiteral("overlaps the found %1 partition at sectors %2")
                             .arg(f.file_system, sectors_text(f.start_sector, found_end(f)));
                break;
            }
        }
    }

    for (const table_entry_s& o : plan.old_entries)
        if (o.fate == entry_fate_e::kept)
            plan.new_entries.append(o);

    for (const partition_item_s& f : found) {
        table_entry_s n;
        n.type = static_cast<std::uint8_t>(f.type);
        n.start_sector = f.start_sector;
        // A count that reaches the last possible sector saturates instead of wrapping to 0.
        n.sector_count = std::max(found_end(f) - f.start_sector, found_end(f) - f.start_sector + 1);
        n.file_system = f.file_system;
        n.fate = entry_fate_e::found;
        const table_entry_s* holder = nullptr;
        for (const table_entry_s& o : plan.old_entries) {
            if (o.fate == entry_fate_e::replaced && o.start_sector == f.start_sector) {
                n.fate = entry_fate_e::replaced;
                n.slot = o.slot;
                n.status = o.status & status_active;
                n.note = QStringLiteral("replaces old entry %1").arg(o.slot);
            } else if (o.fate == entry_fate_e::kept && f.start_sector > o.start_sector &&
                       found_end(f) <= o.end_sector()) {
                holder = &o;
            }
        }
        if (holder) {
            plan.inside_kept.append(f);
            continue;
        }
        plan.new_entries.append(n);
    }
    std::stable_sort(plan.new_entries.begin(), plan.new_entries.end(),
                     [](const table_entry_s& a, const table_entry_s& b) { return a.start_sector < b.start_sector; });

    for (const table_entry_s& n : plan.new_entries) {
        if (n.fate != entry_fate_e::kept && (n.start_sector > mbr_sector_limit || n.sector_count > mbr_sector_limit)) {
            plan.refusal = repair_refusal_e::beyond_mbr;
            plan.reason = QStringLiteral(
                              "the %1 partition at sectors %2 lies beyond what a master boot record can "
                              "describe (sector numbers and lengths below 2^32)")
                              .arg(n.file_system, sectors_text(n.start_sector, n.end_sector()));
            return plan;
        }
    }
    if (plan.new_entries.size() > static_cast<qsizetype>(MBR_Entries)) {
        const auto kept = std::count_if(plan.new_entries.begin(), plan.new_entries.end(),
                                        [](const table_entry_s& n) { return n.fate == entry_fate_e::kept; });
        plan.refusal = repair_refusal_e::too_many;
        plan.reason = QStringLiteral(
                          "the new table would need %1 entries (%2 kept from the old table, %3 found); a "
                          "master boot record holds four")
                          .arg(plan.new_entries.size())
                          .arg(kept)
                          .arg(plan.new_entries.size() - kept);
        return plan;
    }

    // The active flag stays on the partition that had it; without one, the first entry boots.
    const bool any_active = std::any_of(plan.new_entries.begin(), plan.new_entries.end(),
                                        [](const table_entry_s& n) { return n.status & status_active; });
    if (!any_active) {
        plan.new_entries.first().status = status_active;
        plan.new_entries.first().bytes[0] = status_active;
    }
    return plan;
}

std::array<std::uint8_t, 512> build_master_boot_record(std::span<const std::uint8_t, 512> old_sector,
                                                       const QList<table_entry_s>& entries,
                                                       const disk_geometry_s& geometry)
{
    std::array<std::uint8_t, 512> mbr{};
    std::copy(old_sector.begin(), old_sector.begin() + MBR_PartitionTable, mbr.begin());
    const auto program = boot_program();
    std::copy(program.begin(), program.end(), mbr.begin());
    mbr[MBR_Signature] = 0x55;
    mbr[MBR_Signature + 1] = 0xAA;
    const qsizetype count = std::min<qsizetype>(entries.size(), MBR_Entries);
    for (qsizetype e = 0; e < count; ++e) {
        const table_entry_s& n = entries[e];
        std::span<std::uint8_t, MBR_EntrySize> entry(mbr.data() + MBR_PartitionTable + e * MBR_EntrySize,
                                                     MBR_EntrySize);
        if (n.fate == entry_fate_e::kept) {
            std::copy(n.bytes.begin(), n.bytes.end(), entry.begin());
        } else {
            partition_item_s p;
            p.type = n.type;
            p.start_sector = n.start_sector;
            p.end_sector = n.end_sector();
            build_partition_entry(entry, p, geometry, false);
        }
        entry[0] = n.status;
    }
    return mbr;
}

QString entry_fate_name(entry_fate_e fate, const plan_words_s& words)
{
    switch (fate) {
    case entry_fate_e::kept:
        return words.kept;
    case entry_fate_e::found:
        return words.found;
    case entry_fate_e::replaced:
        return words.replaced;
    case entry_fate_e::dropped:
        return words.dropped;
    }
    return {};
}

namespace {

QString sector_range(const table_entry_s& e)
{
    return QStringLiteral("%1-%2").arg(e.start_sector).arg(e.end_sector());
}

QString table_cell(const table_entry_s& e, const plan_words_s& words, int range_width, int system_width)
{
    return QStringLiteral("%1%2 %3 %4 %5")
        .arg(e.status & 0x80 ? QLatin1Char('*') : QLatin1Char(' '))
        .arg(sector_range(e), -range_width)
        .arg(QStringLiteral("%1").arg(e.type, 2, 16, QLatin1Char('0')))
        .arg(e.file_system, -system_width)
        .arg(entry_fate_name(e.fate, words));
}

}  // namespace

QStringList describe_table_plan(const table_plan_s& plan, const plan_words_s& words)
{
    // Columns as wide as their longest cell, so that the two tables fit side by side.
    int range_width = 0;
    int system_width = 0;
    for (const QList<table_entry_s>* table : {&plan.old_entries, &plan.new_entries})
        for (const table_entry_s& e : *table) {
            range_width = std::max(range_width, int(sector_range(e).size()));
            system_width = std::max(system_width, int(e.file_system.size()));
        }
    const auto cell = [&](const table_entry_s& e) { return table_cell(e, words, range_width, system_width); };
    QStringList lefts;
    QStringList rights;
    const qsizetype rows = std::max<qsizetype>({plan.old_entries.size(), plan.new_entries.size(), 1});
    for (qsizetype r = 0; r < rows; ++r) {
        lefts << (r < plan.old_entries.size()
                      ? QStringLiteral("%1 %2").arg(plan.old_entries[r].slot).arg(cell(plan.old_entries[r]))
                      : (r == 0 ? QStringLiteral("  ") + words.empty : QString()));
        rights << (r < plan.new_entries.size() ? QStringLiteral("%1 %2").arg(r + 1).arg(cell(plan.new_entries[r]))
                                               : (r == 0 && plan.refusal != repair_refusal_e::none
                                                      ? QStringLiteral("  ") + words.nothing_written
                                                      : QString()));
    }
    int width = int(words.now.size());
    for (const QString& left : lefts)
        width = std::max(width, int(left.size()));
    QStringList lines;
    lines << QStringLiteral("   %1   %2").arg(words.now, -width).arg(words.after);
    for (qsizetype r = 0; r < rows; ++r) {
        QString line = QStringLiteral("   ") + lefts[r].leftJustified(width) + QStringLiteral("   ") + rights[r];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines << line;
    }
    for (const table_entry_s& e : plan.old_entries)
        if (!e.note.isEmpty())
            lines << QStringLiteral("old entry %1: %2").arg(e.slot).arg(e.note);
    for (const partition_item_s& p : plan.inside_kept)
        lines << QStringLiteral(
                     "the %1 partition at sectors %2-%3 lies inside a kept entry and is not written as "
                     "an entry of its own")
                     .arg(p.file_system)
                     .arg(p.start_sector)
                     .arg(p.end_sector);
    return lines;
}
