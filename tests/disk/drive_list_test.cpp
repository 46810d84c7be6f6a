// The drive list over image files, and the unbuffered path over a real block device (a
// loop device attached to an image, where the machine lets us make one).
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

#include "disk/drive_list.h"
#include "disk/le.h"
#include "disk/partition_repair.h"
#include "disk/raw_disk.h"
#include "tests/support/images.h"

using namespace test_images;

namespace {

struct images_only_s {
    images_only_s() { qputenv("VANTREL_IMAGES_ONLY", "1"); }
    ~images_only_s() { qunsetenv("VANTREL_IMAGES_ONLY"); }
};

}  // namespace

TEST(drive_list, images_in_order_after_the_blank_item_and_at_most_ten)
{
    images_only_s images_only;
    QTemporaryDir dir;
    QStringList paths;
    for (int n = 0; n < 12; ++n) {
        paths << dir.filePath(QStringLiteral("d%1.img").arg(n));
        make_sparse(paths.last(), (n + 1) * cylinder_bytes + 1000);  // and a partial cylinder
    }
    set_drive_images(paths);
    ASSERT_EQ(enumerate_drives(), 0);
    ASSERT_EQ(drive_list.size(), 1 + max_drives);
    EXPECT_TRUE(drive_list[0].path.isEmpty());
    EXPECT_FALSE(drive_list[0].geometry);
    for (int n = 0; n < max_drives; ++n) {
        const drive_item_s& d = drive_list[n + 1];
        EXPECT_EQ(d.path, paths[n]);
        ASSERT_TRUE(d.geometry);
        EXPECT_EQ(d.geometry->cylinders, n + 1);  // whole cylinders, for CHS values only
        EXPECT_EQ(d.size, (n + 1) * cylinder_bytes + 1000);
    }

    // A drive that cannot be had ends the list: the ones after it are not looked at.
    paths[2] = dir.filePath("missing.img");
    set_drive_images(paths);
    enumerate_drives();
    ASSERT_EQ(drive_list.size(), 3);
    EXPECT_EQ(drive_list[2].path, paths[1]);

    set_drive_images({});
    enumerate_drives();
    EXPECT_EQ(drive_list.size(), 1);
}

TEST(drive_list, geometry_of_a_large_image_is_computed_in_64_bits)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.img");
    make_sparse(path, 5000 * cylinder_bytes);  // 41 GB
    const std::optional<disk_geometry_s> g = raw_disk::query_geometry(path);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->cylinders, 5000);
    EXPECT_EQ(g->size(), 5000ull * 255 * 63 * 512);
    EXPECT_FALSE(raw_disk::query_geometry(dir.filePath("none.img")));
}

namespace {

// Attaches an image to a free loop device for the test's life.
struct loop_device_s {
    QString path;
    explicit loop_device_s(const QString& image, const QStringList& options = {})
    {
        QProcess p;
        p.start(tool("losetup"), options + QStringList{"--find", "--show", image});
        if (p.waitForFinished(20000) && p.exitCode() == 0)
            path = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    ~loop_device_s()
    {
        if (!path.isEmpty())
            QProcess::execute(tool("losetup"), {"-d", path});
    }
};

}  // namespace

TEST(block_device, search_and_repair_through_a_loop_device)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    QTemporaryDir dir;
    const QString image = dir.filePath("disk.img");
    make_sparse(image, 40 * cylinder_bytes);
    splice(image, 2048, make_fat32(dir.path(), "a.fat", 140000));
    splice(image, 400001, make_ntfs(dir.path(), "b.ntfs", 30000));  // an odd sector: unaligned to 4 KiB
    loop_device_s loop(image);
    if (loop.path.isEmpty())
        GTEST_SKIP() << "this machine gives no loop device";

    qunsetenv("VANTREL_IMAGES_ONLY");
    EXPECT_TRUE(block_device_paths().contains(loop.path));

    const std::optional<drive_item_s> disk = make_drive_item(loop.path);
    const std::optional<drive_item_s> file = make_drive_item(image);
    ASSERT_TRUE(disk && file);
    EXPECT_EQ(disk->size, file->size);

    partition_repair_c on_disk, on_file;
    ASSERT_EQ(on_disk.scan_drive(*disk), 0);
    ASSERT_EQ(on_file.scan_drive(*file), 0);
    EXPECT_EQ(on_disk.found_count(), 2);
    EXPECT_EQ(on_disk.found_partitions(), on_file.found_partitions());

    on_disk.set_drive(*disk);
    on_disk.set_backup_folder(dir.path());
    ASSERT_EQ(on_disk.write_partition_table(), 0) << on_disk.last_error().toStdString();
    // Read an unaligned stretch through the unbuffered device: the bounce buffer path.
    raw_disk raw;
    ASSERT_TRUE(raw.open(loop.path, device_access::read));
    char bytes[700];
    ASSERT_TRUE(raw.seek(400001ull * 512 + 3));
    ASSERT_EQ(raw.read(bytes, sizeof bytes), 700);
    EXPECT_EQ(QByteArray(bytes, 8), QByteArray("NTFS    "));
    raw.close();
    EXPECT_EQ(read_at(image, 446 + 4, 1), QByteArray("\x0C"));
    EXPECT_EQ(read_at(image, 510, 2), QByteArray("\x55\xAA"));
}

TEST(block_device, a_4k_sector_disk_is_searched_and_repaired_in_its_own_sectors)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "attaching a loop device needs root";
    QTemporaryDir dir;
    const QString image = dir.filePath("4k.img");
    make_sparse(image, 64 << 20);
    // Two NTFS volumes of 4096-byte sectors at 4K sectors 256 and 8192, of 4096 sectors each
    // (the last one of each holds its backup boot sector).
    const QString part = dir.filePath("p.ntfs");
    make_sparse(part, 16 << 20);
    run("mkntfs", {"-F", "-Q", "-q", "-s", "4096", "-p", "0", "-H", "255", "-S", "63", part});
    splice(image, 256 * 8, part);
    splice(image, 8192 * 8, part);
    loop_device_s loop(image, {"--sector-size", "4096", "--partscan"});
    if (loop.path.isEmpty())
        GTEST_SKIP() << "this machine gives no loop device with 4096-byte sectors";

    const std::optional<drive_item_s> disk = make_drive_item(loop.path);
    ASSERT_TRUE(disk);
    ASSERT_EQ(disk->geometry->bytes_per_sector, 4096u);
    EXPECT_EQ(disk->size, 64u << 20);
    partition_repair_c r;
    ASSERT_EQ(r.scan_drive(*disk), 0);
    EXPECT_EQ(r.found_partitions(),
              (QList<partition_item_s>{{"NTFS", 7, 256, 256 + 4095}, {"NTFS", 7, 8192, 8192 + 4095}}));

    r.set_drive(*disk);
    r.set_backup_folder(dir.path());
    ASSERT_EQ(r.write_partition_table(), 0) << r.last_error().toStdString();
    // The table counts in the disk's own sectors, and the system was told of the new table.
    const QByteArray table = read_at(image, 446, 32);
    const auto* t = reinterpret_cast<const std::uint8_t*>(table.constData());
    EXPECT_EQ(le32(std::span<const std::uint8_t>(t, 32), 8), 256u);
    EXPECT_EQ(le32(std::span<const std::uint8_t>(t, 32), 12), 4096u);
    EXPECT_EQ(le32(std::span<const std::uint8_t>(t, 32), 16 + 8), 8192u);
    EXPECT_TRUE(r.last_warning().isEmpty()) << r.last_warning().toStdString();
}

TEST(drive_list, a_drive_is_its_whole_device_not_its_whole_cylinders)
{
    // 200 MiB is not a whole number of cylinders; a partition in the last partial one is
    // found all the same.
    QTemporaryDir dir;
    const QString image = dir.filePath("200m.img");
    make_sparse(image, 200ull << 20);
    const std::uint64_t last_cylinder_start = (200ull << 20) / cylinder_bytes * cylinder_bytes / 512;
    write_at(image, (last_cylinder_start + 100) * 512, ntfs_boot_sector(1000));
    const std::optional<drive_item_s> d = make_drive_item(image);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->size, 200ull << 20);
    partition_repair_c r;
    ASSERT_EQ(r.scan_drive(*d), 0);
    EXPECT_EQ(r.found_partitions(),
              (QList<partition_item_s>{{"NTFS", 7, last_cylinder_start + 100, last_cylinder_start + 1100}}));
}
