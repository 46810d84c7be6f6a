// The NTFS engine over images made by mkntfs and filled through an ntfs-3g mount.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

#include "disk/drive_list.h"
#include "disk/le.h"
#include "recovery/ntfs/ntfs_recovery.h"
#include "recovery/ntfs/ntfs_results.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"
#include "volumes/volume_enumeration.h"

using namespace test_images;

namespace {

class ntfs_engine : public engine_fixture {};

struct shown_s {
    QString folder;
    recovery_item_s row;
};

}  // namespace

TEST_F(ntfs_engine, deleted_files_in_live_and_deleted_folders)
{
    const QByteArray small = random_bytes(300, 1);     // resident
    const QByteArray large = random_bytes(200000, 2);  // non-resident
    const QByteArray doc = random_bytes(5000, 3);
    const ntfs_image_s img = make_ntfs_image(dir_.path(), "ntfs.img", {32, 2, false}, [&](const QString& m) {
        write_file(m + "/keep.txt", "stays");
        write_file(m + "/small.bin", small);
        make_folder(m + "/docs");
        write_file(m + "/docs/report.bin", large);
        write_file(m + "/docs/live.txt", "live");
        make_folder(m + "/old");
        write_file(m + "/old/doc.bin", doc);
        QFile::remove(m + "/small.bin");
        QFile::remove(m + "/docs/report.bin");
        QFile::remove(m + "/old/doc.bin");
        QDir(m + "/old").removeRecursively();
    });
    const QByteArray before = file_md5(img.path);
    const volume_item_s volume = use({img.path}, img.volume_path);
    EXPECT_EQ(ntfs_recovery_c::device_name(volume), "/dev/hda2");

    recovery_session_c& session = scan(volume);
    ntfs_recovery_c& engine = session.ntfs_engine();
    EXPECT_GT(engine.get_read_count(), engine.get_found_count());  // live files are read, not kept
    EXPECT_NE(le32(engine.ntfs_scan_context, NTFS_CTX_Open), 0u);  // kept open for recover_item

    std::vector<shown_s> list;
    const auto tree = ntfs_folder_tree(engine);
    ASSERT_TRUE(tree);
    tree->walk([&](const auto& node, const QString& path) {
        for (const recovery_item_s& r : ntfs_folder_rows(*node.entry))
            list.push_back({path, r});
    });
    struct expect_s {
        const char* folder;
        const char* name;
        QByteArray bytes;
    };
    const expect_s expected[] = {{"/", "small.bin", small}, {"/docs", "report.bin", large}, {"/old", "doc.bin", doc}};
    ASSERT_EQ(list.size(), std::size(expected));
    for (const expect_s& e : expected) {
        SCOPED_TRACE(e.name);
        const auto it = std::find_if(list.begin(), list.end(),
                                     [&](const shown_s& s) { return s.folder == e.folder && s.row.name == e.name; });
        ASSERT_NE(it, list.end());
        EXPECT_EQ(it->row.size, std::uint64_t(e.bytes.size()));
        EXPECT_TRUE(it->row.flags & ntfs_flag_deleted);
        const QString out = dir_.filePath("out.bin");
        write_at(out, 0, "old content that must go");
        ASSERT_EQ(engine.recover_item(it->row.id, out), 0);
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), e.bytes);
        QString path;
        EXPECT_EQ(engine.get_item_path(it->row.id, path), 0);
        EXPECT_EQ(path, img.volume_path + (QString(e.folder) == "/" ? "" : e.folder) + "/" + e.name);
    }
    QString nowhere;
    EXPECT_EQ(engine.get_item_path(999999, nowhere), -1);

    // A second scan closes and reopens the context, and finds the same.
    const std::int64_t found = engine.get_found_count();
    scan(session, volume);
    EXPECT_EQ(engine.get_found_count(), found);
    engine.reset();
    EXPECT_TRUE(engine.entry_table.empty());

    EXPECT_EQ(file_md5(img.path), before);
}

TEST_F(ntfs_engine, a_volume_the_library_cannot_open_is_logged)
{
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const QString fat = make_fat32(dir_.path(), "fat.img", 70016);
    ntfs_recovery_c engine;
    volume_item_s volume = use({fat}, fat + "@p0");
    // The NTFS engine on a FAT volume, which a session would hand to the FAT engine.
    scan(engine, engine_kind::ntfs, volume);
    EXPECT_TRUE(engine.entry_table.empty());
    EXPECT_FALSE(ntfs_folder_tree(engine));
    volume.disk_number = 7;  // no such drive
    scan(engine, engine_kind::ntfs, volume);
    QDir::setCurrent(cwd);

    QFile log(dir_.filePath("Quennet.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(lines[i].contains("  [ntfs_recovery:105] ntfs_scan_startup failed with return value (-"))
            << lines[i].toStdString();
    }
}

TEST(ntfs_engine_names, device_name_of_disk_and_partition)
{
    volume_item_s v;
    v.disk_number = 1;
    v.partition_number = 2;
    EXPECT_EQ(ntfs_recovery_c::device_name(v), "/dev/hdb2");
    v.disk_number = 0;
    v.partition_number = 0;
    EXPECT_EQ(ntfs_recovery_c::device_name(v), "/dev/hda0");
}
