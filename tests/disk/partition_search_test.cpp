// The partition search on crafted boot sectors in memory and on real FAT32 and NTFS file
// systems in image files.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "disk/partition_repair.h"
#include "tests/support/images.h"

using namespace test_images;

namespace {

using bytes_t = std::vector<std::uint8_t>;

struct placed_sector_s {
    std::uint64_t sector;
    QByteArray bytes;
};

struct search_case_s {
    const char* name;
    std::uint64_t disk_sectors;
    std::vector<placed_sector_s> sectors;
    std::vector<partition_item_s> expected;
    std::uint64_t drive_size = ~0ull;  // ~0: the disk's own size
};

QByteArray fsinfo()
{
    QByteArray s(512, '\0');
    s[510] = char(0x55);
    s[511] = char(0xAA);
    return s;
}

partition_item_s ntfs(std::uint64_t start, std::uint64_t end)
{
    return {"NTFS", 7, start, end};
}
partition_item_s fat32(std::uint64_t start, std::uint64_t end)
{
    return {"FAT32", 12, start, end};
}

// Registers a disk in memory and returns its drive item.
drive_item_s memory_drive(const QString& name, const std::shared_ptr<bytes_t>& bytes, std::uint64_t size)
{
    register_memory_device(name, bytes);
    drive_item_s d;
    d.path = name;
    d.size = size;
    d.geometry = disk_geometry_s{static_cast<std::int64_t>(size / (255 * 63 * 512)), 0, 255, 63, 512};
    return d;
}

std::vector<partition_item_s> search(const drive_item_s& drive, partition_repair_c& s)
{
    EXPECT_EQ(s.scan_drive(drive), 0);
    const QList<partition_item_s> found = s.found_partitions();
    return {found.begin(), found.end()};
}

const std::vector<search_case_s>& cases()
{
    static const std::vector<search_case_s> table = {
        {"ntfs_at_63_skips_its_backup",
         20000,
         {{63, ntfs_boot_sector(4000)}, {63 + 4000, ntfs_boot_sector(4000)}},
         {ntfs(63, 63 + 4000)}},
        {"fat32_at_2048_skips_its_backup",
         20000,
         {{2048, fat32_boot_sector(8192)}, {2049, fsinfo()}, {2054, fat32_boot_sector(8192)}, {2055, fsinfo()}},
         {fat32(2048, 2047 + 8192)}},
        {"oem_msdos", 20000, {{100, fat32_boot_sector(1000, "MSDOS5.0")}, {101, fsinfo()}}, {fat32(100, 1099)}},
        // FAT32 is told by its structure: any OEM name passes.
        {"oem_mkfs_fat", 20000, {{100, fat32_boot_sector(1000, "mkfs.fat")}, {101, fsinfo()}}, {fat32(100, 1099)}},
        {"oem_of_spaces", 20000, {{100, fat32_boot_sector(1000, "        ")}, {101, fsinfo()}}, {fat32(100, 1099)}},
        {"fat32_without_fsinfo_not_found", 20000, {{100, fat32_boot_sector(1000)}}, {}},
        {"256th_sector_of_a_read", 20000, {{255, ntfs_boot_sector(100)}}, {ntfs(255, 355)}},
        {"256th_sector_of_the_second_read", 20000, {{510, ntfs_boot_sector(100)}}, {ntfs(510, 610)}},
        {"fat32_whose_fsinfo_starts_the_next_read",
         20000,
         {{254, fat32_boot_sector(100)}, {255, fsinfo()}},
         {fat32(254, 353)}},
        {"nothing_on_the_surface", 20000, {}, {}},
        {"size_0_reads_but_records_nothing", 20000, {{63, ntfs_boot_sector(100)}}, {}, 0},
        {"length_0_moves_on",
         20000,
         {{300, fat32_boot_sector(0)}, {301, fsinfo()}, {302, ntfs_boot_sector(10)}},
         {ntfs(302, 312)}},
        {"ntfs_count_of_all_ones_reaches_past_the_end",
         20000,
         {{70, ntfs_boot_sector(~0ull)}, {900, ntfs_boot_sector(10)}},
         {ntfs(70, ~0ull)}},
        {"partition_past_the_end_is_recorded_and_ends_the_search",
         20000,
         {{1000, ntfs_boot_sector(50000)}, {1500, ntfs_boot_sector(10)}},
         {ntfs(1000, 51000)}},
        {"adjacent_partitions",
         20000,
         {{63, ntfs_boot_sector(936)}, {1000, fat32_boot_sector(2000)}, {1001, fsinfo()}, {3000, ntfs_boot_sector(99)}},
         {ntfs(63, 999), fat32(1000, 2999), ntfs(3000, 3099)}},
        {"boot_sector_in_the_last_short_read_is_not_examined", 20100, {{20000, ntfs_boot_sector(10)}}, {}},
    };
    return table;
}

}  // namespace

TEST(partition_search, cases)
{
    for (const search_case_s& c : cases()) {
        SCOPED_TRACE(c.name);
        auto bytes = std::make_shared<bytes_t>(c.disk_sectors * 512);
        for (const placed_sector_s& p : c.sectors)
            std::memcpy(bytes->data() + p.sector * 512, p.bytes.constData(), 512);
        const std::uint64_t size = c.drive_size == ~0ull ? bytes->size() : c.drive_size;
        partition_repair_c s;
        EXPECT_EQ(search(memory_drive("mem:case", bytes, size), s), c.expected);
        EXPECT_EQ(s.progress(), 1.0);
        EXPECT_FALSE(s.was_stopped());
    }
}

TEST(partition_search, boot_sector_recognisers)
{
    const QByteArray sig = fsinfo();
    const auto span = [](const QByteArray& b) {
        return std::span<const std::uint8_t, 512>(reinterpret_cast<const std::uint8_t*>(b.constData()), 512);
    };
    EXPECT_TRUE(partition_repair_c::is_ntfs_boot_sector(span(ntfs_boot_sector(1))));
    QByteArray nul_padded = ntfs_boot_sector(1);
    nul_padded.replace(7, 4, QByteArray(4, '\0'));  // "NTFS" followed by NULs, not spaces
    EXPECT_FALSE(partition_repair_c::is_ntfs_boot_sector(span(nul_padded)));
    QByteArray unsigned_ntfs = ntfs_boot_sector(1);
    unsigned_ntfs[511] = 0;
    EXPECT_FALSE(partition_repair_c::is_ntfs_boot_sector(span(unsigned_ntfs)));
    EXPECT_TRUE(partition_repair_c::is_fat32_boot_sector(span(fat32_boot_sector(1, "MSWIN4.1")), span(sig)));
    EXPECT_FALSE(partition_repair_c::is_fat32_boot_sector(span(fat32_boot_sector(1)), span(QByteArray(512, 0))));

    // Each field that a FAT32 boot sector must hold, broken in turn.
    struct broken_s {
        const char* what;
        int offset;
        QByteArray bytes;
    };
    const broken_s broken[] = {
        {"bytes per sector 513", 11, QByteArray::fromHex("0102")},
        {"bytes per sector 256", 11, QByteArray::fromHex("0001")},
        {"sectors per cluster 3", 13, QByteArray::fromHex("03")},
        {"sectors per cluster 0", 13, QByteArray::fromHex("00")},
        {"no reserved sectors", 14, QByteArray::fromHex("0000")},
        {"three FATs", 16, QByteArray::fromHex("03")},
        {"no FAT", 16, QByteArray::fromHex("00")},
        {"FAT size 0", 36, QByteArray(4, '\0')},
        {"total sectors 0", 32, QByteArray(4, '\0')},
        {"FAT16 name", 82, "FAT16   "},
        {"no signature", 510, QByteArray(2, '\0')},
    };
    for (const broken_s& b : broken) {
        SCOPED_TRACE(b.what);
        QByteArray sector = fat32_boot_sector(1000, "mkfs.fat");
        sector.replace(b.offset, b.bytes.size(), b.bytes);
        EXPECT_FALSE(partition_repair_c::is_fat32_boot_sector(span(sector), span(sig)));
    }
    for (const char* size : {"0002", "0004", "0008", "0010"}) {
        QByteArray sector = fat32_boot_sector(1000, "mkfs.fat");
        sector.replace(11, 2, QByteArray::fromHex(size));
        EXPECT_TRUE(partition_repair_c::is_fat32_boot_sector(span(sector), span(sig))) << size;
    }
}

TEST(partition_search, missing_drive_fails_with_progress_zero)
{
    partition_repair_c s;
    drive_item_s d;
    d.path = "/nonexistent/disk.img";
    d.size = 1 << 20;
    EXPECT_EQ(s.scan_drive(d), -1);
    EXPECT_EQ(s.progress(), 0.0);
    EXPECT_TRUE(s.found_partitions().isEmpty());
}

namespace {

// A memory disk that asks the search to stop when it is read for the n-th time, counts the
// reads made after that, and tells when it has been closed.
class stopping_device : public memory_device {
public:
    stopping_device(std::shared_ptr<bytes_t> b, partition_repair_c* s, int stop_at, std::atomic<bool>* closed,
                    std::atomic<int>* reads_after)
        : memory_device(std::move(b), false), search_(s), stop_at_(stop_at), closed_(closed), reads_after_(reads_after)
    {
    }
    ~stopping_device() override { *closed_ = true; }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        if (reads_ >= stop_at_)
            ++*reads_after_;
        if (++reads_ == stop_at_)
            search_->request_stop();
        return memory_device::read_at(off, buf, n);
    }

private:
    partition_repair_c* search_;
    int stop_at_;
    int reads_ = 0;
    std::atomic<bool>* closed_;
    std::atomic<int>* reads_after_;
};

}  // namespace

TEST(partition_search, stop_keeps_what_was_found_and_closes_the_drive)
{
    const std::uint64_t sectors = 3 * partition_repair_c::buffer_sectors;
    auto bytes = std::make_shared<bytes_t>(sectors * 512);
    std::memcpy(bytes->data() + 63 * 512, ntfs_boot_sector(100).constData(), 512);
    std::memcpy(bytes->data() + (sectors - 5000) * 512, ntfs_boot_sector(100).constData(), 512);
    partition_repair_c s;
    std::atomic<bool> closed{false};
    std::atomic<int> reads_after{0};
    register_device("mem:stopping", [&](device_access) {
        return std::make_unique<stopping_device>(bytes, &s, 1, &closed, &reads_after);
    });
    drive_item_s d;
    d.path = "mem:stopping";
    d.size = bytes->size();
    d.geometry = disk_geometry_s{1, 0, 255, 63, 512};
    s.set_drive(d);
    s.start_search();
    ASSERT_TRUE(s.wait(10000));
    unregister_device("mem:stopping");
    EXPECT_TRUE(s.was_stopped());
    EXPECT_EQ(s.last_result(), 0);
    EXPECT_TRUE(closed);
    EXPECT_EQ(s.found_partitions(), QList<partition_item_s>{ntfs(63, 163)});
    EXPECT_GT(s.progress(), 0.0);
    EXPECT_LT(s.progress(), 1.0);
    // The search stops before its next read.
    EXPECT_EQ(reads_after, 0);

    // A new start searches the whole drive again.
    register_memory_device("mem:stopping", bytes);
    s.start_search();
    ASSERT_TRUE(s.wait(10000));
    EXPECT_FALSE(s.was_stopped());
    EXPECT_EQ(s.found_partitions(), (QList<partition_item_s>{ntfs(63, 163), ntfs(sectors - 5000, sectors - 4900)}));
}

namespace {

// A memory disk whose reads after the first wait until the search is asked to stop, so a
// search of it runs until someone stops it.
class holding_device : public memory_device {
public:
    holding_device(std::shared_ptr<bytes_t> b, partition_repair_c* s) : memory_device(std::move(b), false), search_(s)
    {
    }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        if (off > 0) {
            while (search_->searching())
                QThread::msleep(1);
        }
        return memory_device::read_at(off, buf, n);
    }

private:
    partition_repair_c* search_;
};

}  // namespace

// A new start while a search runs stops that search and waits for it; the list is emptied
// (and the viewer told) before the new search starts, so it only ever holds what one search
// of one drive found, and the drive that a repair writes is the drive searched.
TEST(partition_search, a_new_start_ends_the_running_search_and_empties_the_list)
{
    auto held = std::make_shared<bytes_t>(20000 * 512);
    std::memcpy(held->data() + 63 * 512, ntfs_boot_sector(100).constData(), 512);
    partition_repair_c s;
    register_device("mem:held", [&](device_access) { return std::make_unique<holding_device>(held, &s); });
    drive_item_s first;
    first.path = "mem:held";
    first.size = held->size();
    first.geometry = disk_geometry_s{1, 0, 255, 63, 512};

    auto other = std::make_shared<bytes_t>(20000 * 512);
    std::memcpy(other->data() + 5000 * 512, ntfs_boot_sector(200).constData(), 512);
    const drive_item_s second = memory_drive("mem:other", other, other->size());

    std::vector<qsizetype> rows_when_cleared;
    QObject::connect(&s, &partition_repair_c::found_cleared, [&] { rows_when_cleared.push_back(s.found_count()); });

    s.start_search(first);
    while (s.found_count() == 0 && s.isRunning())
        QThread::msleep(1);
    ASSERT_TRUE(s.searching());
    EXPECT_EQ(s.found_partitions(), QList<partition_item_s>{ntfs(63, 163)});
    const std::uint64_t first_number = s.started_search();

    s.start_search(second);
    ASSERT_TRUE(s.wait(10000));
    EXPECT_EQ(rows_when_cleared, (std::vector<qsizetype>{0, 0}));
    EXPECT_EQ(s.drive()->path, second.path);
    EXPECT_EQ(s.found_partitions(), QList<partition_item_s>{ntfs(5000, 5200)});
    EXPECT_FALSE(s.was_stopped());
    EXPECT_EQ(s.ended_search(), s.started_search());
    EXPECT_NE(s.ended_search(), first_number);

    // A stopped search is not searching, even before its thread has ended; a start after
    // it waits for that end and searches from sector 0 again.
    s.start_search(first);
    while (s.found_count() == 0 && s.isRunning())
        QThread::msleep(1);
    s.request_stop();
    EXPECT_FALSE(s.searching());
    s.start_search(second);
    ASSERT_TRUE(s.wait(10000));
    EXPECT_EQ(s.found_partitions(), QList<partition_item_s>{ntfs(5000, 5200)});
    unregister_device("mem:held");
    unregister_device("mem:other");
}

// A repair after a stopped search writes what was found, unless a whole search is required
// (the command line, where a stop is an abort): then the plan keeps the old table, and
// nothing is written, not even a backup. A search that ran to the end is written either way.
TEST(partition_repair, a_stopped_search_is_repaired_only_where_a_part_will_do)
{
    auto held = std::make_shared<bytes_t>(20000 * 512);
    std::memcpy(held->data() + 63 * 512, ntfs_boot_sector(100).constData(), 512);
    const bytes_t before = *held;
    partition_repair_c s;
    register_device("mem:held-repair", [&](device_access) { return std::make_unique<holding_device>(held, &s); });
    drive_item_s stopping;
    stopping.path = "mem:held-repair";
    stopping.size = held->size();
    stopping.geometry = disk_geometry_s{1, 0, 255, 63, 512};
    auto copy = std::make_shared<bytes_t>(before);
    const drive_item_s whole = memory_drive("mem:whole-repair", copy, copy->size());
    QTemporaryDir backups;
    s.set_backup_folder(backups.path());

    struct case_s {
        bool whole_required;
        bool stop;
        repair_refusal_e refusal;
    };
    const case_s cases[] = {
        {true, true, repair_refusal_e::search_stopped},
        {false, true, repair_refusal_e::none},
        {true, false, repair_refusal_e::none},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(::testing::Message() << "whole required " << c.whole_required << ", stopped " << c.stop);
        s.require_whole_search(c.whole_required);
        s.start_search(c.stop ? stopping : whole);
        while (c.stop && s.found_count() == 0 && s.isRunning())
            QThread::msleep(1);
        if (c.stop)
            s.request_stop();
        ASSERT_TRUE(s.wait(10000));
        ASSERT_EQ(s.was_stopped(), c.stop);
        ASSERT_EQ(s.found_partitions(), QList<partition_item_s>{ntfs(63, 163)});

        const table_plan_s plan = s.plan_repair();
        EXPECT_EQ(plan.refusal, c.refusal);
        if (c.refusal == repair_refusal_e::none) {
            ASSERT_EQ(plan.new_entries.size(), 1);
            EXPECT_EQ(plan.new_entries[0].start_sector, 63u);
            continue;
        }
        EXPECT_TRUE(plan.new_entries.isEmpty());
        EXPECT_EQ(s.write_partition_table(), -1);
        EXPECT_EQ(s.last_refusal(), repair_refusal_e::search_stopped);
        EXPECT_EQ(s.last_error(), "the search was stopped; nothing written");
        EXPECT_TRUE(*held == before);
        EXPECT_TRUE(QDir(backups.path()).isEmpty());
    }
    unregister_device("mem:held-repair");
    unregister_device("mem:whole-repair");
}

namespace {

struct real_image_s {
    QTemporaryDir dir;
    QString path;
    std::vector<partition_item_s> expected;
};

// A sparse image of 6 GiB and a bit, not a whole number of sectors, with a FAT32 at 2048,
// an NTFS beyond 2 GiB and a FAT32 beyond 4 GiB, each made by the real formatters.
void build_large_image(real_image_s& img)
{
    ASSERT_TRUE(img.dir.isValid());
    img.path = img.dir.filePath("disk.img");
    const std::uint64_t sectors = 6ull * 1024 * 1024 * 2;
    make_sparse(img.path, sectors * 512 + 100);
    const std::uint64_t fat_sectors = 140000, ntfs_sectors = 40000;
    splice(img.path, 2048, make_fat32(img.dir.path(), "a.fat", fat_sectors));
    const std::uint64_t ntfs_start = 2ull * 1024 * 1024 * 2 + 4321;  // past 2 GiB
    splice(img.path, ntfs_start, make_ntfs(img.dir.path(), "b.ntfs", ntfs_sectors));
    const std::uint64_t fat_far = 4ull * 1024 * 1024 * 2 + 77777;  // past 4 GiB
    splice(img.path, fat_far, make_fat32(img.dir.path(), "c.fat", fat_sectors, "MSDOS5.0"));
    img.expected = {fat32(2048, 2047 + fat_sectors), ntfs(ntfs_start, ntfs_start + ntfs_sectors - 1),
                    fat32(fat_far, fat_far + fat_sectors - 1)};
}

// Reads an image as a plain device that knows nothing of holes.
class no_holes_device : public block_device {
public:
    explicit no_holes_device(std::unique_ptr<block_device> d) : d_(std::move(d)) {}
    std::uint64_t size() const override { return d_->size(); }
    std::int64_t read_at(std::uint64_t o, void* b, std::size_t n) override { return d_->read_at(o, b, n); }
    std::int64_t write_at(std::uint64_t o, const void* b, std::size_t n) override { return d_->write_at(o, b, n); }

private:
    std::unique_ptr<block_device> d_;
};

}  // namespace

TEST(partition_search, real_file_systems_beyond_2_and_4_gib)
{
    real_image_s img;
    build_large_image(img);
    if (HasFatalFailure())
        return;
    const std::optional<drive_item_s> drive = make_drive_item(img.path);
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->size, 6ull * 1024 * 1024 * 1024 + 100);  // the whole image, partial cylinder too

    partition_repair_c sparse;
    EXPECT_EQ(search(*drive, sparse), img.expected);
    EXPECT_EQ(sparse.progress(), 1.0);
    // Holes were stepped over: far less than the image was read.
    EXPECT_LT(sparse.bytes_read(), drive->size / 8);

    // Reading every sector gives the same partitions.
    register_device("dense:disk",
                    [&](device_access a) { return std::make_unique<no_holes_device>(open_block_device(img.path, a)); });
    drive_item_s dense = *drive;
    dense.path = "dense:disk";
    partition_repair_c full;
    EXPECT_EQ(search(dense, full), img.expected);
    unregister_device("dense:disk");
    EXPECT_GT(full.bytes_read(), drive->size / 2);
}

TEST(partition_search, unreadable_ranges_are_skipped_and_reported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.img");
    make_sparse(path, 16 * cylinder_bytes);
    splice(path, 2048, make_fat32(dir.path(), "a.fat", 70016));
    write_at(path, 100000ull * 512, ntfs_boot_sector(5000));  // behind the bad stretch
    write_at(path, 200000ull * 512, ntfs_boot_sector(5000));  // inside a bad stretch: lost
    const std::optional<drive_item_s> drive = make_drive_item(path);
    ASSERT_TRUE(drive);

    set_unreadable_ranges(path, {{90000ull * 512, 90010ull * 512}, {199990ull * 512, 200100ull * 512}});
    partition_repair_c s;
    const std::vector<partition_item_s> found = search(*drive, s);
    set_unreadable_ranges(path, {});

    EXPECT_EQ(found, (std::vector<partition_item_s>{fat32(2048, 2047 + 70016), ntfs(100000, 105000)}));
    EXPECT_EQ(s.progress(), 1.0);
    const QList<bad_range_s> bad = s.bad_ranges();
    ASSERT_EQ(bad.size(), 2);
    EXPECT_EQ(bad[0].first_sector, 90000u);
    EXPECT_EQ(bad[0].sector_count, 10u);
    EXPECT_EQ(bad[1].first_sector, 199990u);
    EXPECT_EQ(bad[1].sector_count, 110u);
}

TEST(partition_search, truncated_image_ends_the_search_at_its_end)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.img");
    // The geometry counts 16 cylinders, but the file ends in the middle of the last one,
    // inside a partition that claims to run on.
    make_sparse(path, 16 * cylinder_bytes);
    write_at(path, 1000 * 512, ntfs_boot_sector(1000));
    write_at(path, 200000ull * 512, ntfs_boot_sector(10));
    const std::optional<drive_item_s> drive = make_drive_item(path);
    ASSERT_TRUE(drive);
    QFile::resize(path, 250100ll * 512 + 7);
    partition_repair_c s;
    EXPECT_EQ(search(*drive, s), (std::vector<partition_item_s>{ntfs(1000, 2000), ntfs(200000, 200010)}));
    EXPECT_EQ(s.progress(), 1.0);
}

TEST(partition_search, volumes_made_by_the_formatters_of_today)
{
    // Real FAT32 volumes with the OEM names that Linux and other systems write, and exFAT
    // volumes, at places where their boot region lies inside one read and across two.
    QTemporaryDir dir;
    const QString path = dir.filePath("today.img");
    make_sparse(path, 40 * cylinder_bytes);
    const std::uint64_t fat_sectors = 70016, exfat_sectors = 65536;
    splice(path, 250, make_exfat(dir.path(), "across.exfat", exfat_sectors));  // sector 11 in the next read
    splice(path, 70000, make_fat32(dir.path(), "mkfs.fat", fat_sectors, ""));
    splice(path, 150000, make_fat32(dir.path(), "spaces.fat", fat_sectors, "        "));
    splice(path, 230000, make_exfat(dir.path(), "inside.exfat", exfat_sectors));
    const QString damaged = dir.filePath("damaged.exfat");
    QFile::copy(dir.filePath("inside.exfat"), damaged);
    ASSERT_EQ(read_at(damaged, 3, 8), QByteArray("EXFAT   "));
    // The checksum sectors of the boot region and of its backup no longer match.
    write_at(damaged, 11 * 512 + 100, "x");
    write_at(damaged, 23 * 512 + 100, "x");
    splice(path, 310000, damaged);

    const std::optional<drive_item_s> drive = make_drive_item(path);
    ASSERT_TRUE(drive);
    partition_repair_c s;
    const partition_item_s exfat_across{"exFAT", 7, 250, 250 + exfat_sectors - 1};
    const partition_item_s exfat_inside{"exFAT", 7, 230000, 230000 + exfat_sectors - 1};
    // Each FAT32 volume once: its backup boot sector at sector 6 is not a second partition.
    EXPECT_EQ(search(*drive, s),
              (std::vector<partition_item_s>{exfat_across, fat32(70000, 70000 + fat_sectors - 1),
                                             fat32(150000, 150000 + fat_sectors - 1), exfat_inside}));
}
