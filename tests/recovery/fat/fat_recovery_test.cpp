// The FAT engine on FAT12, FAT16 and FAT32 images made by mkfs.fat and mtools.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_recovery.h"
#include "recovery/fat/fat_results.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "volumes/volume_enumeration.h"

using namespace test_images;

namespace {

class fat_engine : public engine_fixture {};

struct shown_s {
    QString folder;
    recovery_item_s row;
};

std::vector<shown_s> shown(const fat_recovery_c& engine)
{
    std::vector<shown_s> out;
    if (const auto tree = fat_folder_tree(engine))
        tree->walk([&](const auto& node, const QString& path) {
            for (const recovery_item_s& r : fat_folder_rows(*node.entry))
                out.push_back({path, r});
        });
    return out;
}

const shown_s* find(const std::vector<shown_s>& list, const QString& folder, const QString& name)
{
    for (const shown_s& s : list)
        if (s.folder == folder && s.row.name == name)
            return &s;
    return nullptr;
}

struct layout_case_s {
    int bits;
    bool partitioned;
    int kib;
    QStringList mkfs;
};

}  // namespace

TEST_F(fat_engine, deleted_files_and_folders_on_every_fat_type)
{
    const layout_case_s cases[] = {
        {12, false, 4096, {}},           {12, true, 4096, {}},           {16, false, 32768, {}}, {16, true, 32768, {}},
        {32, false, 36000, {"-s", "1"}}, {32, true, 36000, {"-s", "1"}},
    };
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    const QString abc = make_file(src, "ABC.TXT", 5000, 1);
    const QString report = make_file(src, "REPORT.TXT", 3000, 2, "2020-02-29 23:59:58");
    const QString alpha = make_file(src, "ALPHA.TXT", 1500, 3);
    const QString bravo = make_file(src, "BRAVO.TXT", 700, 4);
    const QString keep = make_file(src, "KEEP.TXT", 100, 5);
    const QString empty = make_file(src, "EMPTY.TXT", 0, 6);

    for (const layout_case_s& c : cases) {
        SCOPED_TRACE(QString("FAT%1 %2").arg(c.bits).arg(c.partitioned ? "partitioned" : "whole").toStdString());
        const fat_image_s img = make_fat_image(dir_.path(), QString("fat%1%2.img").arg(c.bits).arg(c.partitioned),
                                               c.bits, c.partitioned, c.kib, c.mkfs);
        mtools("mcopy", img, {"-m", abc, keep, empty, "::/"});
        mtools("mmd", img, {"::/LIVE", "::/DOCS", "::/OLD"});
        mtools("mcopy", img, {"-m", keep, "::/LIVE/ONLY.TXT"});
        mtools("mcopy", img, {"-m", report, keep, "::/DOCS/"});
        mtools("mcopy", img, {"-m", alpha, bravo, "::/OLD/"});
        mtools("mdel", img, {"::/ABC.TXT", "::/EMPTY.TXT", "::/DOCS/REPORT.TXT"});
        mtools("mdeltree", img, {"::/OLD"});
        const QByteArray before = file_md5(img.path);

        fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
        const std::vector<shown_s> list = shown(engine);

        struct expect_s {
            const char* folder;
            const char* name;
            QString source;
        };
        const expect_s expected[] = {
            {"/", "#BC.TXT", abc},
            {"/DOCS", "#EPORT.TXT", report},
            {"/#LD", "#LPHA.TXT", alpha},
            {"/#LD", "#RAVO.TXT", bravo},
        };
        EXPECT_EQ(list.size(), std::size(expected));
        for (const expect_s& e : expected) {
            SCOPED_TRACE(e.name);
            const shown_s* s = find(list, e.folder, e.name);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->row.size, std::uint64_t(QFileInfo(e.source).size()));
            EXPECT_TRUE(s->row.flags & fat_attr_deleted);
            EXPECT_EQ(s->row.date1, QFileInfo(e.source).lastModified().toSecsSinceEpoch());
            const QString out = dir_.filePath("out.bin");
            ASSERT_EQ(engine.recover_item(s->row.id, out), 0);
            EXPECT_EQ(file_md5(out), file_md5(e.source));
        }
        // Live folders with only live files are walked but not shown.
        for (const auto& [cluster, entry] : engine.entry_table) {
            if (entry.name == "LIVE") {
                EXPECT_EQ(entry.has_content, 0);
            }
        }

        // Unknown ids write nothing.
        const QString none = dir_.filePath("none.bin");
        EXPECT_EQ(engine.recover_item(0xFFFFFF, none), -1);
        EXPECT_FALSE(QFile::exists(none));
        QString path;
        EXPECT_EQ(engine.get_item_path(0xFFFFFF, path), -1);

        EXPECT_EQ(file_md5(img.path), before);  // nothing written to the source
    }
}

// Deleting a file marks its long-name parts too but leaves their characters: the files and
// folders come back under their long names. The root of a FAT32 volume with 512-byte
// clusters holds 16 entries per cluster, so the longer names' parts span clusters.
TEST_F(fat_engine, deleted_files_and_folders_keep_their_long_names)
{
    const fat_image_s img = make_fat_image(dir_.path(), "names.img", 32, false, 36000, {"-s", "1"});
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    const QString hundred = QString("a hundred characters ").repeated(5).left(96) + ".txt";
    struct file_s {
        QString folder;  // in the image and as shown
        QString name;    // on disk
        QString shown;   // after the scan
    };
    const file_s files[] = {
        {"/", "Thirteen1.txt", "Thirteen1.txt"},                            // one part, no NUL
        {"/", "Twenty-six characters!.txt", "Twenty-six characters!.txt"},  // two parts, no NUL
        {"/", hundred, hundred},
        {"/", "photo1.jpg", "#hoto1.jpg"},  // lower case in the 8.3 entry's flags: no long name
        {"/", "A part overwritten.doc", "#PARTO~1.DOC"},
        {"/Old Photos", "beach day.jpg", "beach day.jpg"},
    };
    mtools("mmd", img, {"::/Old Photos"});
    QStringList sources;
    int seed = 1;
    for (const file_s& f : files) {
        sources << make_file(src, f.name, 3000 + seed * 100, seed);
        mtools("mcopy", img, {"-m", sources.back(), "::" + f.folder});
        ++seed;
    }
    for (const file_s& f : files)
        if (f.folder == "/")
            mtools("mdel", img, {"::/" + f.name});
    mtools("mdeltree", img, {"::/Old Photos"});
    // Another entry took the place of the long-name part right before the 8.3 entry.
    const std::uint64_t at = patch_entry(img, "?PARTO~1DOC", [](QByteArray&) {});
    ASSERT_NE(at, 0u);
    QByteArray part = read_at(img.path, at - 32, 32);
    ASSERT_EQ(part[11], 0x0F);
    part[13] = char(part[13] ^ 0x5A);
    write_at(img.path, at - 32, part);

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    const std::vector<shown_s> list = shown(engine);
    EXPECT_EQ(list.size(), std::size(files));
    for (int i = 0; i < std::ssize(files); ++i) {
        SCOPED_TRACE(files[i].shown.toStdString());
        const shown_s* s = find(list, files[i].folder, files[i].shown);
        if (!s) {
            ADD_FAILURE() << "not shown";
            continue;
        }
        const QString out = dir_.filePath("out.bin");
        EXPECT_EQ(engine.recover_item(s->row.id, out), 0);
        EXPECT_EQ(file_md5(out), file_md5(sources[i]));
    }
    if (HasFailure())
        for (const shown_s& s : list)
            ADD_FAILURE() << "shown: " << s.folder.toStdString() << " " << s.row.name.toStdString();
}

// A deleted folder's FAT chain is freed: its directory is read on into the clusters after
// its first one while they are free and hold directory entries. With 512-byte clusters a
// cluster holds 16 entries, so 40 files with long names fill several clusters.
TEST_F(fat_engine, a_deleted_folder_is_read_past_its_first_cluster)
{
    const fat_image_s img = make_fat_image(dir_.path(), "span.img", 32, false, 36000, {"-s", "1"});
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    // Empty files first make the folder's directory grow cluster by cluster with nothing
    // between them, as it does when a folder is filled before its files' data is written.
    QStringList empties, files;
    for (int i = 0; i < 40; ++i) {
        empties << make_file(src, QString("Empty placeholder %1.txt").arg(i), 0, i);
        files << make_file(src, QString("Holiday picture %1.jpg").arg(i), 700 + i, i);
    }
    mtools("mmd", img, {"::/Pictures"});
    mtools("mcopy", img, QStringList{"-m"} + empties + QStringList{"::/Pictures/"});
    // A live file right after the folder's directory: the read must stop before its cluster.
    const QString after = make_file(src, "After.bin", 2000, 99);
    mtools("mcopy", img, {"-m", after, "::/"});
    mtools("mdel", img, {"::/Pictures/Empty*"});
    mtools("mcopy", img, QStringList{"-m"} + files + QStringList{"::/Pictures/"});
    mtools("mdeltree", img, {"::/Pictures"});

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    const std::vector<shown_s> list = shown(engine);
    int found = 0;
    for (int i = 0; i < 40; ++i) {
        const shown_s* s = find(list, "/Pictures", QFileInfo(files[i]).fileName());
        if (!s)
            continue;
        ++found;
        const QString out = dir_.filePath("out.bin");
        EXPECT_EQ(engine.recover_item(s->row.id, out), 0);
        EXPECT_EQ(file_md5(out), file_md5(files[i]));
    }
    EXPECT_EQ(found, 40);
    EXPECT_EQ(list.size(), 40u);
}

// A deleted folder inside a deleted folder whose cluster a new file took: nothing names
// the inner folder any more, but its cluster still begins with "." and "..". Its files
// are shown below "(lost folders)", and a folder entry in it that names the folder itself
// is not walked again. Trip's own cluster, holding another file's data now, gives no rows.
TEST_F(fat_engine, folders_whose_parent_is_gone_are_found_by_their_dot_entries)
{
    const fat_image_s img = make_fat_image(dir_.path(), "lost.img", 16, false, 32768);
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    mtools("mmd", img, {"::/Trip", "::/Trip/Day one"});
    const QString beach = make_file(src, "Beach at noon.jpg", 5000, 1);
    const QString notes = make_file(src, "NOTES.TXT", 1200, 2);
    mtools("mcopy", img, {"-m", beach, notes, "::/Trip/Day one/"});
    mtools("mdeltree", img, {"::/Trip"});
    // The lowest free cluster is Trip's: the new file overwrites its directory.
    const std::uint64_t trip_at = patch_entry(img, "?RIP       ", [](QByteArray&) {});
    ASSERT_NE(trip_at, 0u);
    const QByteArray trip_entry = read_at(img.path, trip_at, 32);
    const std::uint32_t trip = std::uint8_t(trip_entry[26]) | (std::uint8_t(trip_entry[27]) << 8);
    std::uint32_t day_one = 0;
    ASSERT_NE(patch_entry(img, "?AYONE~1   ",
                          [&](QByteArray& e) { day_one = std::uint8_t(e[26]) | (std::uint8_t(e[27]) << 8); }),
              0u);
    mtools("mcopy", img, {"-m", make_file(src, "NEW.BIN", 2048, 3), "::/"});
    ASSERT_EQ(patch_entry(img, "?AYONE~1   ", [](QByteArray&) {}), 0u);  // no entry names Day one now
    ASSERT_NE(day_one, trip);
    // NOTES.TXT's entry becomes a deleted folder entry naming Day one itself.
    ASSERT_NE(patch_entry(img, "?OTES   TXT",
                          [&](QByteArray& e) {
                              e[11] = 0x10;
                              e[26] = char(day_one);
                              e[27] = char(day_one >> 8);
                          }),
              0u);

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    const std::vector<shown_s> list = shown(engine);
    // Trip's cluster now holds NEW.BIN's bytes, which are not read as entries.
    for (const shown_s& s : list)
        EXPECT_EQ(s.row.name, "Beach at noon.jpg") << s.folder.toStdString();
    ASSERT_EQ(list.size(), 1u);
    const QString folder = QString("/(lost folders)/cluster %1").arg(day_one);
    const shown_s* s = find(list, folder, "Beach at noon.jpg");
    ASSERT_NE(s, nullptr);
    const QString out = dir_.filePath("out.bin");
    EXPECT_EQ(engine.recover_item(s->row.id, out), 0);
    EXPECT_EQ(file_md5(out), file_md5(beach));
    QString path;
    EXPECT_EQ(engine.get_item_path(s->row.id, path), 0);
    EXPECT_EQ(path, img.volume_path + folder + "/Beach at noon.jpg");
}

// An image file is a file wherever it lies: one under /dev (tmpfs at /dev/shm) was once
// taken for a block device, found without a medium and never read.
TEST_F(fat_engine, an_image_under_dev_shm_is_read_as_a_file)
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        GTEST_SKIP() << "no writable /dev/shm";
    QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-test-XXXXXX"));
    ASSERT_TRUE(shm.isValid());
    const fat_image_s img = make_fat_image(shm.path(), "shm.img", 12, false, 2048);
    mtools("mcopy", img, {"-m", make_file(dir_.path(), "GONE.TXT", 3000, 1), "::/"});
    mtools("mdel", img, {"::/GONE.TXT"});

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    EXPECT_EQ(engine.entry_table.size(), 2u);  // the root and the deleted file
}

TEST_F(fat_engine, same_cluster_twice_and_a_loop_of_folders)
{
    const fat_image_s img = make_fat_image(dir_.path(), "twice.img", 16, false, 32768);
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    mtools("mcopy", img, {"-m", make_file(src, "FIRST.TXT", 2000, 7), make_file(src, "SECOND.TXT", 2000, 8), "::/"});
    mtools("mmd", img, {"::/SUB"});
    mtools("mcopy", img, {"-m", make_file(src, "INNER.TXT", 100, 9), "::/SUB/"});
    mtools("mdel", img, {"::/FIRST.TXT", "::/SECOND.TXT", "::/SUB/INNER.TXT"});

    // SECOND names FIRST's cluster and was created later; FIRST keeps its own creation time.
    std::uint32_t first_cluster = 0;
    patch_entry(img, "FIRST   TXT", [&](QByteArray& e) {
        first_cluster = std::uint8_t(e[26]) | (std::uint8_t(e[27]) << 8);
        e[14] = 0;
        e[15] = 0;
        e[16] = 0x21;
        e[17] = 0x3E;  // created 2011-01-01 00:00:00
    });
    patch_entry(img, "SECOND  TXT", [&](QByteArray& e) {
        e[26] = char(first_cluster);
        e[27] = char(first_cluster >> 8);
        e[14] = 0;
        e[15] = 0;
        e[16] = 0x22;
        e[17] = 0x3E;  // created 2011-01-02
    });
    // A folder entry inside SUB that points back at the root's first folder: SUB itself.
    std::uint32_t sub_cluster = 0;
    patch_entry(img, "SUB        ",
                [&](QByteArray& e) { sub_cluster = std::uint8_t(e[26]) | (std::uint8_t(e[27]) << 8); });
    patch_entry(img, "INNER   TXT", [&](QByteArray& e) {
        e[11] = 0x10;               // now a (deleted) folder ...
        e[26] = char(sub_cluster);  // ... whose first cluster is SUB's own
        e[27] = char(sub_cluster >> 8);
    });

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    ASSERT_TRUE(engine.entry_table.count(first_cluster));
    EXPECT_EQ(engine.entry_table.at(first_cluster).name, "#ECOND.TXT");  // the later creation wins
    ASSERT_TRUE(engine.entry_table.count(sub_cluster));
    EXPECT_EQ(engine.entry_table.at(sub_cluster).name, "SUB");  // the live folder stays
    QString path;
    EXPECT_EQ(engine.get_item_path(first_cluster, path), 0);
    EXPECT_EQ(path, img.volume_path + "/#ECOND.TXT");
}

TEST_F(fat_engine, progress_counts_and_stop)
{
    // 2100 deleted files in one folder: more reads than the progress formula counts on.
    const fat_image_s img = make_fat_image(dir_.path(), "many.img", 16, false, 32768);
    const QString src = dir_.filePath("many");
    QDir().mkpath(src);
    QStringList files;
    for (int i = 0; i < 2100; ++i)
        files << make_file(src, QString("F%1.TXT").arg(i), 10, i);
    mtools("mmd", img, {"::/BIG"});
    mtools("mcopy", img, QStringList{"-m"} + files + QStringList{"::/BIG/"});
    mtools("mdel", img, {"::/BIG/*"});
    const volume_item_s volume = use({img.path}, img.volume_path);

    // The engine alone, without the session's end of scan, which sets the progress to 1.
    fat_recovery_c engine;
    engine.set_stop(stop_user);  // cleared by the scan's own reset
    scan(engine, engine_kind::fat, volume);
    EXPECT_EQ(engine.get_stop(), 0);
    EXPECT_EQ(engine.get_found_count(), 2101);  // the files and BIG
    EXPECT_GT(engine.get_read_count(), 2001);
    EXPECT_EQ(engine.get_progress(), 0.99);

    // A small folder: progress is the reads before the last one over 2000.
    const fat_image_s small = make_fat_image(dir_.path(), "small.img", 12, false, 4096);
    mtools("mcopy", small, {"-m", files[0], files[1], "::/"});
    fat_recovery_c few;
    scan(few, engine_kind::fat, use({small.path}, small.volume_path));
    EXPECT_EQ(few.get_progress(), double(few.get_read_count() - 1) / 2000.0);

    // Paused, then stopped: the scan ends without going on and keeps what it found.
    register_device(img.path, [&](device_access a) -> std::unique_ptr<block_device> {
        struct slow_s : block_device {
            std::unique_ptr<block_device> d;
            std::uint64_t size() const override { return d->size(); }
            std::int64_t read_at(std::uint64_t o, void* b, std::size_t n) override
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return d->read_at(o, b, n);
            }
            std::int64_t write_at(std::uint64_t o, const void* b, std::size_t n) override
            {
                return d->write_at(o, b, n);
            }
        };
        auto s = std::make_unique<slow_s>();
        s->d = open_file_device(img.path, a);
        return s;
    });
    fat_recovery_c paused;
    paused.set_volume(use({img.path}, img.volume_path));
    ASSERT_TRUE(recovery_session_c::prepare(engine_kind::fat));  // the drive table over the slow device
    paused.start();
    while (paused.get_read_count() < 50 && paused.isRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    paused.set_pause(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::int64_t held = paused.get_read_count();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(paused.get_read_count(), held);
    EXPECT_TRUE(paused.isRunning());
    paused.set_stop(stop_user);
    EXPECT_TRUE(paused.wait(1000));
    unregister_device(img.path);
    EXPECT_LT(paused.get_read_count(), 2100);
    EXPECT_EQ(paused.get_stop(), stop_user);
    EXPECT_TRUE(paused.entry_table.count(0));  // the root is stored and the records linked
}

TEST_F(fat_engine, damaged_volumes_end_with_the_root_alone)
{
    struct damage_s {
        const char* name;
        std::uint64_t offset;
        QByteArray bytes;
    };
    const damage_s damages[] = {
        {"no sectors per cluster", 13, QByteArray(1, '\0')},
        {"4096-byte sectors", 11, QByteArray::fromHex("0010")},
        {"no boot signature", 510, QByteArray(2, '\0')},
    };
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.name);
        const fat_image_s img = make_fat_image(dir_.path(), "bad.img", 16, false, 32768);
        mtools("mcopy", img, {"-m", make_file(dir_.path(), "GONE.TXT", 1000, 1), "::/"});
        mtools("mdel", img, {"::/GONE.TXT"});
        write_at(img.path, d.offset, d.bytes);
        // The FAT engine itself: a session gives a volume without a known file system to
        // the deep engine.
        fat_recovery_c engine;
        scan(engine, engine_kind::fat, use({img.path}, img.volume_path));
        EXPECT_EQ(engine.entry_table.size(), 1u);
        EXPECT_FALSE(fat_folder_tree(engine));
    }
}

TEST_F(fat_engine, drive_table_reads_and_watches)
{
    const fat_image_s a = make_fat_image(dir_.path(), "a.img", 12, false, 1024);
    const fat_image_s b = make_fat_image(dir_.path(), "b.img", 12, false, 1024);
    set_drive_images({a.path, b.path});
    ASSERT_EQ(reopen_fat_drives(), 2);
    open_fat_drives();  // starts the keep-alive thread once
    std::vector<std::uint8_t> buf(65536 + 512);
    EXPECT_EQ(disk_read(0, buf.data(), 0, 128), RES_OK);
    EXPECT_EQ(disk_read(0, buf.data(), 0, 129), RES_PARERR);
    EXPECT_EQ(disk_read(5, buf.data(), 0, 1), RES_NOTRDY);
    EXPECT_EQ(disk_read(0, buf.data(), 1u << 30, 1), RES_ERROR);  // past the end
    EXPECT_EQ(buf[510], 0x55);

    ASSERT_TRUE(QFile::remove(b.path));
    bool marked = false;
    for (int i = 0; i < 100 && !marked; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        marked = fat_drive_status(1) & STA_NOINIT;
    }
    EXPECT_TRUE(marked);
    EXPECT_EQ(disk_read(1, buf.data(), 0, 1), RES_NOTRDY);

    // A missing image ends the table: the ones after it are not opened.
    set_drive_images({a.path, b.path, a.path});
    EXPECT_EQ(reopen_fat_drives(), 1);
}

namespace {

// The rows of the scan by name.
recovery_item_s row_named(const fat_recovery_c& engine, const QString& name)
{
    for (const shown_s& s : shown(engine))
        if (s.row.name == name)
            return s.row;
    ADD_FAILURE() << "no row " << name.toStdString();
    return {};
}

// Threads of this process with the given name.
int threads_named(const QByteArray& name)
{
    int n = 0;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QString("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            ++n;
    }
    return n;
}

}  // namespace

// A sector that cannot be read becomes zeros in the file, which is partial with that range;
// a file whose clusters lie past the end of a volume cut short fails and leaves nothing.
TEST_F(fat_engine, an_unreadable_sector_is_zeros_and_a_cut_volume_fails_its_file)
{
    const fat_image_s img = make_fat_image(dir_.path(), "bad.img", 16, true, 32768);
    const QStringList sources =
        deleted_files(img, dir_.filePath("src"), {{"HIT.TXT", 9000, 1}, {"WHOLE.TXT", 3000, 2}});
    const QString hit = sources[0], whole = sources[1];
    {
        // The third sector of HIT.TXT's data cannot be read.
        const auto unreadable = make_unreadable(img.path, hit, 1024);
        fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
        const QString out = dir_.filePath("out.bin");
        recover_report_s report;
        EXPECT_EQ(engine.recover_item_reported(row_named(engine, "#IT.TXT").id, out, report), recover_partial);
        ASSERT_EQ(report.unreadable.size(), 1u);
        EXPECT_EQ(report.unreadable[0].first, 1024u);
        EXPECT_EQ(report.unreadable[0].last, 1536u);
        QByteArray expected = read_at(hit, 0, 9000);
        expected.replace(1024, 512, QByteArray(512, '\0'));
        EXPECT_EQ(read_at(out, 0, 10000), expected);
        EXPECT_EQ(engine.recover_item(row_named(engine, "#HOLE.TXT").id, out), recover_written);
        EXPECT_EQ(file_md5(out), file_md5(whole));
    }

    // The image cut 1000 bytes into HIT.TXT's data: its partition is longer than the image.
    const QByteArray bytes = read_at(img.path, 0, std::size_t(QFileInfo(img.path).size()));
    const qsizetype data = bytes.indexOf(read_at(hit, 0, 512));
    ASSERT_GT(data, 0);
    const QString cut = dir_.filePath("cut.img");
    write_at(cut, 0, bytes.left(data + 1000));
    fat_recovery_c& engine = scan(use({cut}, cut + "@p1")).fat_engine();
    const QString out = dir_.filePath("cut.bin");
    recover_report_s report;
    EXPECT_EQ(engine.recover_item_reported(row_named(engine, "#IT.TXT").id, out, report), recover_truncated);
    EXPECT_TRUE(report.reason.contains("ends before the file does")) << report.reason.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// A recovery and a preview read one volume at once while another engine mounts and scans
// a second volume: every file comes out whole.
TEST_F(fat_engine, two_readers_of_one_volume_at_once)
{
    const fat_image_s x = make_fat_image(dir_.path(), "x.img", 32, false, 36000, {"-s", "1"});
    const fat_image_s y = make_fat_image(dir_.path(), "y.img", 12, false, 2048);
    const QStringList sources =
        deleted_files(x, dir_.filePath("src"), {{"BIG.BIN", 300000, 1}, {"SMALL.TXT", 5000, 2}});
    const QString big = sources[0], small = sources[1];
    deleted_files(y, dir_.filePath("src"), {{"SMALL.TXT", 5000, 2}});

    fat_recovery_c& engine = scan(use({x.path, y.path}, x.volume_path)).fat_engine();
    const volume_item_s other = use({x.path, y.path}, y.volume_path);
    const recovery_item_s big_row = row_named(engine, "#IG.BIN");
    const recovery_item_s small_row = row_named(engine, "#MALL.TXT");

    const auto reader = [&](const recovery_item_s& row, const QString& source, const QString& out, int* good) {
        for (int i = 0; i < 15; ++i)
            if (engine.recover_item(row.id, out) == 0 && file_md5(out) == file_md5(source))
                ++*good;
    };
    int big_good = 0, small_good = 0;
    std::thread writer(reader, big_row, big, dir_.filePath("big.out"), &big_good);
    std::thread preview(reader, small_row, small, dir_.filePath("small.out"), &small_good);
    for (int i = 0; i < 5; ++i) {
        fat_recovery_c& second = scan(other).fat_engine();
        EXPECT_EQ(shown(second).size(), 1u);
    }
    writer.join();
    preview.join();
    EXPECT_EQ(big_good, 15);
    EXPECT_EQ(small_good, 15);
}

TEST_F(fat_engine, closing_the_drive_table_leaves_no_thread)
{
    const fat_image_s a = make_fat_image(dir_.path(), "a.img", 12, false, 1024);
    const fat_image_s b = make_fat_image(dir_.path(), "b.img", 12, false, 1024);
    set_drive_images({a.path, b.path});
    ASSERT_EQ(open_fat_drives(), 2);
    EXPECT_TRUE(fat_drives_watched());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the thread is watching drive 1
    EXPECT_EQ(threads_named(fat_keep_alive_name), 1);

    close_fat_drives();
    EXPECT_FALSE(fat_drives_watched());
    EXPECT_EQ(threads_named(fat_keep_alive_name), 0);
    EXPECT_EQ(fat_drive_count(), 0);
    std::uint8_t sector[512];
    EXPECT_EQ(disk_read(0, sector, 0, 1), RES_NOTRDY);

    // Opened again, the table reads and is watched again.
    ASSERT_EQ(open_fat_drives(), 2);
    EXPECT_TRUE(fat_drives_watched());
    EXPECT_EQ(disk_read(0, sector, 0, 1), RES_OK);
    close_fat_drives();
}

// A file written after a deletion takes the deleted file's clusters: that file is marked
// overwritten (reading it gives the new file's bytes), while a deleted file whose clusters
// stay free is not. One case has a one-cluster file, whose FAT entry is the chain's end.
TEST_F(fat_engine, a_deleted_file_whose_first_cluster_was_taken_again_is_overwritten)
{
    struct case_s {
        layout_case_s layout;
        std::size_t old_size;
    };
    const case_s cases[] = {
        {{12, false, 4096, {}}, 3000},
        {{16, true, 32768, {}}, 3000},
        {{32, true, 36000, {"-s", "1"}}, 3000},
        {{32, false, 36000, {"-s", "1"}}, 400},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(QString("FAT%1, %2 bytes").arg(c.layout.bits).arg(c.old_size).toStdString());
        const QString name = QString("reused%1_%2.img").arg(c.layout.bits).arg(c.old_size);
        const fat_image_s img =
            make_fat_image(dir_.path(), name, c.layout.bits, c.layout.partitioned, c.layout.kib, c.layout.mkfs);
        const reused_clusters_s sources = reuse_clusters(img, dir_.filePath("src" + name), c.old_size);

        fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
        const recovery_item_s old = row_named(engine, "#LD.TXT");
        const recovery_item_s kept = row_named(engine, "#REE.TXT");
        EXPECT_TRUE(old.overwritten);
        EXPECT_FALSE(kept.overwritten);
        // An overwritten file's run is not counted; the other's clusters are all free.
        EXPECT_EQ(old.in_use_clusters, 0u);
        EXPECT_EQ(kept.in_use_clusters, 0u);
        EXPECT_EQ(shown(engine).size(), 2u);

        const QString out = dir_.filePath("out.bin");
        ASSERT_EQ(engine.recover_item(old.id, out), recover_written);
        EXPECT_EQ(file_md5(out), file_md5(sources.live)) << "the new file lies where the old one began";
        ASSERT_EQ(engine.recover_item(kept.id, out), recover_written);
        EXPECT_EQ(file_md5(out), file_md5(sources.intact));
    }
}

// A deleted file is read in the clusters that follow its first one, since its FAT entries
// are free. Where one of them is in use again (a live file written since, or a bad-cluster
// mark), its bytes are not the deleted file's: that range is written as zeros and listed
// apart from unreadable ranges, and every other byte is the file's own.
TEST_F(fat_engine, clusters_of_a_deleted_file_now_in_use_are_zeros)
{
    struct case_s {
        layout_case_s layout;
        std::size_t size;     // of the deleted file
        std::uint32_t at;     // the first of its clusters in use again
        std::uint32_t count;  // how many
        bool live;            // a live file takes them; else one bad-cluster mark
    };
    const case_s cases[] = {
        {{32, true, 36000, {"-s", "1"}}, 6000, 4, 2, true},  // in the middle: 512-byte clusters
        {{16, false, 32768, {}}, 9000, 4, 1, false},         // the file's last, partly used cluster
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(QString("FAT%1").arg(c.layout.bits).toStdString());
        const QString name = QString("crossed%1.img").arg(c.layout.bits);
        const fat_image_s img =
            make_fat_image(dir_.path(), name, c.layout.bits, c.layout.partitioned, c.layout.kib, c.layout.mkfs);
        const QString src = dir_.filePath("src" + name);
        QString deleted, live;
        std::uint32_t first = 0;
        if (c.live) {
            const crossed_run_s run = cross_run(img, src, c.size, c.at, 1000);
            deleted = run.deleted;
            live = run.live;
            first = run.first;
            ASSERT_EQ(fat_entry(img, first + c.at), first + c.at + 1) << "mtools put the live file elsewhere";
        } else {
            deleted = deleted_files(img, src, {{"DEL.BIN", c.size, 51}})[0];
            first = first_cluster(img, "DEL     BIN");
            set_fat_entry(img, first + c.at, 0xFFF7);
        }
        fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
        const recovery_item_s row = row_named(engine, "#EL.BIN");
        EXPECT_EQ(row.id, first);
        EXPECT_FALSE(row.overwritten);
        // The scan already tells how much of the file other clusters' owners took.
        EXPECT_EQ(row.in_use_clusters, c.count);
        EXPECT_EQ(row.clusters, (c.size + fat_cluster_bytes(img) - 1) / fat_cluster_bytes(img));

        const QString out = dir_.filePath("out.bin");
        recover_report_s report;
        ASSERT_EQ(engine.recover_item_reported(row.id, out, report), recover_partial);
        const std::uint64_t cluster = fat_cluster_bytes(img);
        const std::uint64_t from = c.at * cluster, to = std::min<std::uint64_t>((c.at + c.count) * cluster, c.size);
        EXPECT_TRUE(report.unreadable.empty());
        ASSERT_EQ(report.in_use.size(), 1u);
        EXPECT_EQ(report.in_use[0].first, from);
        EXPECT_EQ(report.in_use[0].last, to);
        QByteArray expected = read_at(deleted, 0, c.size);
        expected.replace(qsizetype(from), qsizetype(to - from), QByteArray(qsizetype(to - from), '\0'));
        const QByteArray got = read_at(out, 0, c.size + 1);
        EXPECT_EQ(got, expected);
        if (c.live) {
            EXPECT_EQ(got.indexOf(read_at(live, 0, 512)), -1) << "the live file's bytes leaked into the deleted one";
        }
    }
}

// Runs of deleted files can overlap: a file's size may reach over the clusters of files
// deleted after it. A cluster in use again counts for every run that holds it, and for none
// that ends before it or begins after it.
TEST_F(fat_engine, clusters_in_use_count_for_every_run_that_holds_them)
{
    const fat_image_s img = make_fat_image(dir_.path(), "runs.img", 32, true, 36000, {"-s", "1"});
    deleted_files(img, dir_.filePath("src"), {{"AAA.BIN", 1500, 1}, {"BBB.BIN", 1500, 2}, {"CCC.BIN", 1000, 3}});
    const std::uint32_t a = first_cluster(img, "AAA     BIN"), b = first_cluster(img, "BBB     BIN"),
                        c = first_cluster(img, "CCC     BIN");
    ASSERT_EQ(b, a + 3) << "mtools put the files apart";
    ASSERT_EQ(c, b + 3) << "mtools put the files apart";
    // AAA's entry now says it runs up to the end of CCC, over both of them.
    const std::uint32_t size = (c + 2 - a) * 512;
    ASSERT_NE(patch_entry(img, "?AA     BIN",
                          [&](QByteArray& e) {
                              for (int i = 0; i < 4; ++i)
                                  e[28 + i] = char(size >> (8 * i));
                          }),
              0u);
    // Bad-cluster marks: inside BBB, on CCC's first cluster, and just past every run.
    for (const std::uint32_t bad : {b + 1, c, c + 2})
        set_fat_entry(img, bad, 0x0FFFFFF7);

    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    struct case_s {
        const char* name;
        std::uint32_t clusters;
        std::uint32_t in_use;
    };
    for (const case_s& k : {case_s{"#AA.BIN", c + 2 - a, 2}, case_s{"#BB.BIN", 3, 1}, case_s{"#CC.BIN", 2, 1}}) {
        SCOPED_TRACE(k.name);
        const recovery_item_s row = row_named(engine, k.name);
        EXPECT_FALSE(row.overwritten);
        EXPECT_EQ(row.clusters, k.clusters);
        EXPECT_EQ(row.in_use_clusters, k.in_use);
    }
}
