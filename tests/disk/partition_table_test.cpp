// Building master boot records, and the repair's write path on image files.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

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
    EXPECT_EQ(entry_bytes({"NTFS", 7, 4096, 8191}, false, 0x5A), hex("5A 41 02 00 07 82 02 00 00 10 00 00 00 10 00 00"));
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

TEST(partition_table, master_boot_record_keeps_signature_and_unused_entries)
{
    std::array<std::uint8_t, 512> old{};
    for (std::size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const auto build = [&](const QList<partition_item_s>& parts) { return build_master_boot_record(old, parts, geo_255_63); };

    const QList<partition_item_s> five = {{"NTFS", 7, 63, 999},
                                          {"FAT32", 12, 1000, 1999},
                                          {"NTFS", 7, 2000, 2999},
                                          {"FAT32", 12, 3000, 3999},
                                          {"NTFS", 7, 4000, 4999}};
    const QList<QList<partition_item_s>> lists = {{}, five.mid(0, 1), five.mid(0, 2), five};
    for (const QList<partition_item_s>& parts : lists) {
        SCOPED_TRACE(parts.size());
        const auto mbr = build(parts);
        const auto program = boot_program();
        EXPECT_TRUE(std::equal(program.begin(), program.end(), mbr.begin()));
        EXPECT_TRUE(std::equal(old.begin() + 440, old.begin() + 446, mbr.begin() + 440));  // disk signature
        EXPECT_EQ(mbr[510], 0x55);
        EXPECT_EQ(mbr[511], 0xAA);
        for (qsizetype e = 0; e < 4; ++e) {
            const std::size_t at = MBR_PartitionTable + e * 16;
            if (e < parts.size()) {
                EXPECT_EQ(mbr[at + 4], parts[e].type);
                EXPECT_EQ(le32(mbr, at + 8), parts[e].start_sector);
            } else {
                EXPECT_TRUE(std::equal(old.begin() + at, old.begin() + at + 16, mbr.begin() + at)) << "entry " << e;
            }
        }
    }
    // The fifth partition is not written: the four entries are the first four.
    const auto mbr = build(five);
    EXPECT_EQ(le32(mbr, MBR_PartitionTable + 3 * 16 + 8), 3000u);
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
    for (int i = 0; i < 512; ++i)
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
    EXPECT_EQ(mbr.mid(478, 32), old_sector0.mid(478, 32));  // entries 3 and 4 as they were
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
