// Building master boot records, and the repair's write path on image files.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <zlib.h>

#include "disk/boot_program.h"
#include "disk/le.h"
#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "disk/partition_repair.h"
#include "disk/partition_table.h"
#include "tests/support/images.h"

using namespace test_images;

namespace {

const disk_geometry_s geo_255_63{1000, 0, 255, 63, 512};

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray entry_bytes(const partition_item_s& p, bool first, std::uint8_t old_status = 0x00)
{
    std::array<std::uint8_t, 16> e{};
    e[0] = old_status;
    build_partition_entry(e, p, geo_255_63, first);
    return QByteArray(reinterpret_cast<const char*>(e.data()), 16);
}

}  // namespace

TEST(partition_table, entries_and_chs_addresses)
{
    EXPECT_EQ(entry_bytes({"FAT32", 12, 2048, 4095}, true), hex("80 20 21 00 0C 41 01 00 00 08 00 00 00 08 00 00"));
    // Entries after the first keep their old status byte.
    EXPECT_EQ(entry_bytes({"NTFS", 7, 4096, 8191}, false, 0x5A),
              hex("5A 41 02 00 07 82 02 00 00 10 00 00 00 10 00 00"));
    EXPECT_EQ(entry_bytes({"NTFS", 7, 63, 4095}, true), hex("80 01 01 00 07 41 01 00 3F 00 00 00 C1 0F 00 00"));

    struct chs_case_s {
        std::uint64_t sector;
        const char* bytes;
    };
    const chs_case_s chs[] = {
        {0, "00 01 00"},
        {4194304, "15 51 05"},   // cylinder 261: bits 8 and 9 on top of the middle byte
        {16777216, "55 02 14"},  // cylinder 1044 wraps to 20
    };
    for (const chs_case_s& c : chs) {
        SCOPED_TRACE(c.sector);
        const auto b = chs_address(c.sector, geo_255_63);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(b.data()), 3), hex(c.bytes));
    }
    // A geometry without heads or sectors gives zeros instead of dividing by zero.
    const auto none = chs_address(1234, disk_geometry_s{});
    EXPECT_EQ(none, (std::array<std::uint8_t, 3>{0, 0, 0}));
}

namespace {

struct old_entry_s {
    std::uint8_t status;
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t count;
};

// A sector 0 with a disk signature and the given entries in slots 1, 2, ...
std::array<std::uint8_t, 512> old_table(const std::vector<old_entry_s>& entries)
{
    std::array<std::uint8_t, 512> s{};
    put_le32(s, MBR_DiskSignature, 0xC0FFEE11);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const std::size_t at = MBR_PartitionTable + e * MBR_EntrySize;
        s[at] = entries[e].status;
        s[at + 1] = 0xFE;  // CHS bytes that a kept entry keeps as they are
        s[at + 4] = entries[e].type;
        put_le32(s, at + 8, entries[e].start);
        put_le32(s, at + 12, entries[e].count);
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

struct new_entry_s {
    std::uint8_t status;
    std::uint8_t type;
    std::uint64_t start;
    std::uint64_t count;
    entry_fate_e fate;
    bool operator==(const new_entry_s&) const = default;
};

void PrintTo(const new_entry_s& e, std::ostream* os)
{
    *os << "{" << int(e.status) << ", 0x" << std::hex << int(e.type) << std::dec << ", " << e.start << ", " << e.count
        << ", fate " << int(e.fate) << "}";
}

struct plan_case_s {
    const char* name;
    std::vector<old_entry_s> old;
    QList<partition_item_s> found;
    std::vector<new_entry_s> expected;  // the new table, when it can be written
    repair_refusal_e refusal = repair_refusal_e::none;
    std::vector<entry_fate_e> old_fates = {};
    QList<partition_item_s> inside_kept = {};
    std::uint64_t drive = 1000000;  // sectors
};

constexpr auto kept = entry_fate_e::kept;
constexpr auto found = entry_fate_e::found;
constexpr auto replaced = entry_fate_e::replaced;
constexpr auto dropped = entry_fate_e::dropped;

const partition_item_s ntfs_a{"NTFS", 7, 102400, 152399};
const partition_item_s fat_b{"FAT32", 12, 300000, 399999};

}  // namespace

TEST(partition_table, plans_keep_what_they_do_not_replace)
{
    const plan_case_s cases[] = {
        {"wiped table: the found partition is written and boots", {}, {ntfs_a}, {{0x80, 7, 102400, 50000, found}}},
        {"a Linux entry stays, the NTFS entry is replaced in its place",
         {{0x00, 0x83, 2048, 100000}, {0x00, 0x07, 102400, 40000}},
         {ntfs_a},
         {{0x80, 0x83, 2048, 100000, kept}, {0x00, 7, 102400, 50000, replaced}},
         repair_refusal_e::none,
         {kept, replaced}},
        {"the active flag stays with the partition that had it",
         {{0x00, 0x83, 2048, 100000}, {0x80, 0x83, 500000, 1000}},
         {ntfs_a},
         {{0x00, 0x83, 2048, 100000, kept}, {0x00, 7, 102400, 50000, found}, {0x80, 0x83, 500000, 1000, kept}}},
        {"a replaced active entry passes its flag on",
         {{0x00, 0x83, 2048, 100000}, {0x80, 0x07, 102400, 1}},
         {ntfs_a},
         {{0x00, 0x83, 2048, 100000, kept}, {0x80, 7, 102400, 50000, replaced}}},
        {"an entry that overlaps a found partition is dropped",
         {{0x80, 0x83, 100000, 10000}},
         {ntfs_a},
         {{0x80, 7, 102400, 50000, found}},
         repair_refusal_e::none,
         {dropped}},
        {"entries outside the drive or without sectors are dropped",
         {{0x00, 0x83, 999000, 5000}, {0x00, 0x83, 5000, 0}},
         {ntfs_a},
         {{0x80, 7, 102400, 50000, found}},
         repair_refusal_e::none,
         {dropped, dropped}},
        {"logical partitions stay inside their extended partition",
         {{0x80, 0x83, 2048, 100000}, {0x00, 0x05, 200000, 300000}},
         {ntfs_a, fat_b},
         {{0x80, 0x83, 2048, 100000, kept}, {0x00, 7, 102400, 50000, found}, {0x00, 0x05, 200000, 300000, kept}},
         repair_refusal_e::none,
         {kept, kept},
         {fat_b}},
        {"five entries are not written",
         {{0x80, 0x83, 2048, 1000}, {0, 0x83, 4096, 1000}, {0, 0x83, 8192, 1000}, {0, 0x83, 600000, 1000}},
         {ntfs_a},
         {},
         repair_refusal_e::too_many},
        {"a protective GPT entry refuses the repair",
         {{0x00, 0xEE, 1, 999999}},
         {ntfs_a},
         {},
         repair_refusal_e::gpt_disk},
        {"a partition past 2^32 sectors cannot be described",
         {},
         {{"NTFS", 7, 5000000000ull, 5000100000ull}},
         {},
         repair_refusal_e::beyond_mbr,
         {},
         {},
         6000000000ull},
        {"nothing found writes nothing", {{0x80, 0x83, 2048, 1000}}, {}, {}, repair_refusal_e::nothing_found},
    };
    const std::array<std::uint8_t, 512> no_gpt{};
    for (const plan_case_s& c : cases) {
        SCOPED_TRACE(c.name);
        const auto sector0 = old_table(c.old);
        const table_plan_s plan = plan_partition_table(sector0, no_gpt, c.found, c.drive);
        EXPECT_EQ(plan.refusal, c.refusal) << plan.reason.toStdString();
        EXPECT_EQ(plan.reason.isEmpty(), c.refusal == repair_refusal_e::none);
        std::vector<new_entry_s> got;
        for (const table_entry_s& n : plan.new_entries)
            got.push_back({n.status, n.type, n.start_sector, n.sector_count, n.fate});
        if (c.refusal == repair_refusal_e::none) {
            EXPECT_EQ(got, c.expected);
        }
        for (std::size_t k = 0; k < c.old_fates.size(); ++k)
            EXPECT_EQ(plan.old_entries[static_cast<qsizetype>(k)].fate, c.old_fates[k]) << "old entry " << k + 1;
        EXPECT_EQ(plan.inside_kept, c.inside_kept);
        if (c.refusal != repair_refusal_e::none)
            continue;

        // The sector: program, signature, the entries in order, kept ones byte for byte.
        const auto mbr = build_master_boot_record(sector0, plan.new_entries, geo_255_63);
        const auto program = boot_program();
        EXPECT_TRUE(std::equal(program.begin(), program.end(), mbr.begin()));
        EXPECT_EQ(le32(mbr, MBR_DiskSignature), 0xC0FFEE11u);
        EXPECT_EQ(mbr[510], 0x55);
        EXPECT_EQ(mbr[511], 0xAA);
        for (std::size_t e = 0; e < MBR_Entries; ++e) {
            const std::size_t at = MBR_PartitionTable + e * MBR_EntrySize;
            if (e >= got.size()) {
                EXPECT_TRUE(
                    std::all_of(mbr.begin() + at, mbr.begin() + at + 16, [](std::uint8_t b) { return b == 0; }));
                continue;
            }
            EXPECT_EQ(mbr[at], got[e].status);
            EXPECT_EQ(mbr[at + 4], got[e].type);
            EXPECT_EQ(le32(mbr, at + 8), got[e].start);
            EXPECT_EQ(le32(mbr, at + 12), got[e].count);
            if (got[e].fate == kept) {
                EXPECT_EQ(mbr[at + 1], 0xFE);
            }
        }
    }
}

TEST(partition_table, gpt_is_told_by_its_protective_entry_or_its_header)
{
    std::array<std::uint8_t, 512> sector0{}, sector1{};
    EXPECT_FALSE(is_gpt_disk(sector0, sector1));
    // A header with a CRC that holds, then one that does not.
    std::memcpy(sector1.data(), "EFI PART", 8);
    put_le32(sector1, 8, 0x00010000);
    put_le32(sector1, 12, 92);
    put_le32(sector1, 16, 0);
    put_le32(sector1, 16, static_cast<std::uint32_t>(::crc32(0L, sector1.data(), 92)));
    EXPECT_TRUE(is_gpt_disk(sector0, sector1));
    sector1[40] ^= 1;
    EXPECT_FALSE(is_gpt_disk(sector0, sector1));
    // The protective entry alone, in any slot.
    sector0 = old_table({{0, 0x83, 2048, 100}, {0, 0xEE, 1, 100000}});
    EXPECT_TRUE(is_gpt_disk(sector0, sector1));
}

namespace {

struct repair_fixture_s {
    QTemporaryDir dir;
    QString image;
    QString backups;
};

// An image with a disk signature in sector 0, two real partitions and data between them.
void build_repairable(repair_fixture_s& f)
{
    ASSERT_TRUE(f.dir.isValid());
    f.image = f.dir.filePath("lost.img");
    f.backups = f.dir.filePath("backups");
    QDir().mkpath(f.backups);
    make_sparse(f.image, 40 * cylinder_bytes);
    QByteArray sector0(512, '\0');
    for (int i = 0; i < 446; ++i)  // boot code and disk signature; the table itself is wiped
        sector0[i] = char(i * 13 + 1);
    write_at(f.image, 0, sector0);
    splice(f.image, 2048, make_fat32(f.dir.path(), "a.fat", 140000));
    write_at(f.image, 300000ull * 512, QByteArray(4096, 'x'));
    splice(f.image, 400000, make_ntfs(f.dir.path(), "b.ntfs", 30000));
}

int search_and_repair(partition_repair_c& r, const QString& path, const QString& backups)
{
    const std::optional<drive_item_s> d = make_drive_item(path);
    if (!d)
        return -2;
    r.set_drive(*d);
    r.set_backup_folder(backups);
    r.start_search();
    r.wait();
    return r.write_partition_table();
}

}  // namespace

TEST(partition_repair, rewrites_only_sector_0_and_keeps_a_backup)
{
    repair_fixture_s f;
    build_repairable(f);
    if (HasFatalFailure())
        return;
    const QByteArray old_sector0 = read_at(f.image, 0, 512);
    QFile copy(f.image);
    const QString before = f.dir.filePath("before.img");
    ASSERT_TRUE(copy.copy(before));

    partition_repair_c r;
    ASSERT_EQ(search_and_repair(r, f.image, f.backups), 0) << r.last_error().toStdString();
    ASSERT_EQ(r.found_count(), 2);

    // The backup holds the old sector, and nothing but sector 0 changed.
    QFile backup(r.last_backup_path());
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), old_sector0);
    EXPECT_EQ(QFileInfo(r.last_backup_path()).dir().absolutePath(), QDir(f.backups).absolutePath());
    write_at(before, 0, read_at(f.image, 0, 512));
    EXPECT_EQ(file_md5(before), file_md5(f.image));

    const QByteArray mbr = read_at(f.image, 0, 512);
    const auto program = boot_program();
    EXPECT_EQ(mbr.left(440), QByteArray(reinterpret_cast<const char*>(program.data()), 440));
    EXPECT_EQ(mbr.mid(440, 6), old_sector0.mid(440, 6));
    EXPECT_EQ(mbr.mid(446, 5), hex("80 20 21 00 0C"));
    const auto* m = reinterpret_cast<const std::uint8_t*>(mbr.constData());
    const std::span<const std::uint8_t> ms(m, 512);
    EXPECT_EQ(le32(ms, 446 + 8), 2048u);
    EXPECT_EQ(le32(ms, 446 + 12), 140000u);
    EXPECT_EQ(ms[462 + 4], 7);
    EXPECT_EQ(le32(ms, 462 + 8), 400000u);
    EXPECT_EQ(le32(ms, 462 + 12), 30000u);
    EXPECT_EQ(mbr.mid(478, 32), QByteArray(32, '\0'));  // entries 3 and 4 unused
    EXPECT_EQ(mbr.right(2), hex("55 AA"));

    // The written table now leads the search to the same partitions.
    partition_repair_c again;
    EXPECT_EQ(search_and_repair(again, f.image, f.backups), 0);
    EXPECT_EQ(again.found_partitions(), r.found_partitions());
}

TEST(partition_repair, refuses_without_a_backup_and_leaves_the_drive_alone)
{
    repair_fixture_s f;
    build_repairable(f);
    if (HasFatalFailure())
        return;
    const QByteArray before = file_md5(f.image);
    partition_repair_c r;
    EXPECT_EQ(search_and_repair(r, f.image, f.dir.filePath("no/such/folder")), -1);
    EXPECT_TRUE(r.last_error().contains("cannot save")) << r.last_error().toStdString();
    EXPECT_EQ(file_md5(f.image), before);

    partition_repair_c no_drive;
    EXPECT_EQ(no_drive.write_partition_table(), -1);
}

namespace {
// A disk that accepts writes but keeps its old bytes, as a failing medium may.
class forgetful_device : public memory_device {
public:
    using memory_device::memory_device;
    std::int64_t write_at(std::uint64_t, const void*, std::size_t n) override { return static_cast<std::int64_t>(n); }
};
}  // namespace

TEST(partition_repair, a_write_that_does_not_read_back_is_a_failure)
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(20000 * 512);
    const QByteArray boot = ntfs_boot_sector(100);
    std::memcpy(bytes->data() + 63 * 512, boot.constData(), 512);
    register_device("mem:forgetful", [bytes](device_access) { return std::make_unique<forgetful_device>(bytes); });
    QTemporaryDir dir;
    partition_repair_c r;
    drive_item_s d;
    d.path = "mem:forgetful";
    d.size = bytes->size();
    d.geometry = geo_255_63;
    r.set_drive(d);
    r.set_backup_folder(dir.path());
    ASSERT_EQ(r.scan_drive(d), 0);
    ASSERT_EQ(r.found_count(), 1);
    EXPECT_EQ(r.write_partition_table(), -1);
    EXPECT_TRUE(r.last_error().contains("reads back different")) << r.last_error().toStdString();
    unregister_device("mem:forgetful");
}
