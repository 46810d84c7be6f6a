// The volume enumeration's rules over a table of made-up volumes, and the Linux platform on
// real disk images.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "disk/drive_list.h"
#include "tests/support/images.h"
#include "volumes/linux_volume_platform.h"
#include "volumes/volume_device.h"
#include "volumes/volume_enumeration.h"

using namespace test_images;

namespace {

// A volume of the table: its unique path, device, mounts, type, information and numbers.
struct made_up_s {
    QString path;
    QStringList mounts;
    std::uint32_t type = 3;
    bool described = true;  // information and space answered
    bool numbered = true;   // partition and disk numbers answered
};

table_volume_platform make_platform(const std::vector<made_up_s>& volumes, bool admin)
{
    table_volume_platform p;
    p.admin = admin;
    int n = 0;
    for (const made_up_s& v : volumes) {
        p.volumes.push_back(v.path);
        p.device_names[v.path] = "\\Device\\HarddiskVolume" + QString::number(++n);
        p.mounts[v.path] = v.mounts;
        if (!v.mounts.isEmpty()) {
            p.drive_types[v.mounts.first()] = v.type;
            if (v.described) {
                p.information[v.mounts.first()] = {"LABEL" + QString::number(n), "NTFS", 0};
                p.spaces[v.mounts.first()] = {1000ull * n, 100ull * n};
            }
        }
        if (v.numbered) {
            p.partition_numbers[v.path] = n;
            p.disk_numbers[v.path] = 0;
        }
    }
    return p;
}

QStringList item_paths()
{
    QStringList paths;
    for (const volume_item_s& v : volume_item_list)
        paths << v.volume_path;
    return paths;
}

QStringList info_paths()
{
    QStringList paths;
    for (const volume_info_s& v : volume_info_list)
        paths << v.volume_path;
    return paths;
}

}  // namespace

TEST(volume_enumeration, which_volumes_reach_the_list_and_in_what_order)
{
    const made_up_s system{"vol-c", {"C:\\"}, 3};
    const made_up_s cdrom{"vol-cd", {"F:\\"}, 5};
    const made_up_s remote{"vol-net", {"Z:\\"}, 4};
    const made_up_s hidden{"vol-hidden", {}, 3};
    const made_up_s stick{"vol-e", {"E:\\"}, 2};
    const made_up_s data{"vol-d", {"D:\\", "C:\\mnt\\data\\"}, 3};
    const made_up_s empty_reader{"vol-g", {"G:\\"}, 2, false, true};
    const made_up_s unanswered_reader{"vol-h", {"H:\\"}, 2, false, false};
    const made_up_s spanning{"vol-span", {"I:\\"}, 3, true, false};

    struct case_s {
        const char* name;
        std::vector<made_up_s> volumes;
        bool admin;
        QStringList info;   // volume_info_list, in order
        QStringList items;  // volume_item_list after the blank item
    };
    const case_s cases[] = {
        {"fixed and cd-rom, administrator", {system, cdrom}, true, {"vol-c"}, {"vol-c"}},
        {"fixed and cd-rom, no administrator", {system, cdrom}, false, {}, {}},
        {"remote dropped", {remote, stick}, true, {"vol-e"}, {"vol-e"}},
        {"no mount path stays off the page", {hidden, system}, true, {"vol-hidden", "vol-c"}, {"vol-c"}},
        {"sorted by first mount path",
         {stick, system, data},
         true,
         {"vol-c", "vol-d", "vol-e"},
         {"vol-c", "vol-d", "vol-e"}},
        {"removable without medium", {empty_reader, unanswered_reader}, true, {"vol-g", "vol-h"}, {"vol-g"}},
        {"more than one extent", {spanning, stick}, true, {"vol-e", "vol-span"}, {"vol-e"}},
        {"only removable without administrator", {system, stick, data}, false, {"vol-e"}, {"vol-e"}},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        table_volume_platform p = make_platform(c.volumes, c.admin);
        ASSERT_EQ(enumerate_volumes(p), 0);
        EXPECT_EQ(info_paths(), c.info);
        ASSERT_FALSE(volume_item_list.isEmpty());
        EXPECT_TRUE(volume_item_list[0].device_name.isEmpty());
        EXPECT_EQ(item_paths().mid(1), c.items);
    }
}

TEST(volume_enumeration, fields_of_listed_and_unmounted_volumes)
{
    table_volume_platform p = make_platform({{"vol-hidden", {}, 3}, {"vol-d", {"D:\\", "C:\\mnt\\data\\"}, 3}}, true);
    p.device_names.erase("vol-missing");
    p.volumes.insert(p.volumes.begin(), "vol-missing");  // its device name cannot be read: skipped
    ASSERT_EQ(enumerate_volumes(p), 0);
    ASSERT_EQ(volume_info_list.size(), 2);
    const volume_info_s& hidden = volume_info_list[0];
    EXPECT_EQ(hidden.root_path, hidden.device_name);
    EXPECT_EQ(hidden.drive_type, 0u);
    EXPECT_EQ(hidden.partition_number, -1);
    EXPECT_EQ(hidden.disk_number, -1);
    const volume_info_s& data = volume_info_list[1];
    EXPECT_EQ(data.mount_paths, (QStringList{"D:\\", "C:\\mnt\\data\\"}));
    EXPECT_EQ(data.root_path, "D:\\");
    EXPECT_EQ(p.admin_questions, 2);

    ASSERT_EQ(volume_item_list.size(), 2);
    const volume_item_s& item = volume_item_list[1];
    EXPECT_EQ(item.volume_path, "vol-d");
    EXPECT_EQ(item.device_name, data.device_name);
    EXPECT_EQ(item.label, data.label);
    EXPECT_EQ(item.file_system, "NTFS");
    EXPECT_EQ(item.total_bytes, data.total_bytes);
    EXPECT_EQ(item.free_bytes, data.free_bytes);
    EXPECT_EQ(item.partition_number, data.partition_number);
    EXPECT_TRUE(item.mount_paths.isEmpty());

    table_volume_platform refusing;
    refusing.refuse_walk = true;
    EXPECT_EQ(enumerate_volumes(refusing), -1);
    EXPECT_TRUE(volume_info_list.isEmpty());
    EXPECT_TRUE(volume_item_list.isEmpty());
}

namespace {

// One MBR entry: status, CHS left zero, type, first sector, count.
QByteArray mbr_entry(std::uint8_t type, std::uint32_t start, std::uint32_t count)
{
    QByteArray e(16, '\0');
    e[4] = char(type);
    for (int i = 0; i < 4; ++i) {
        e[8 + i] = char(start >> (8 * i));
        e[12 + i] = char(count >> (8 * i));
    }
    return e;
}

struct volume_images_s {
    QTemporaryDir dir;
    QString partitioned, whole;
};

// An image with an MBR holding a FAT16 at 2048 and an NTFS at 43008, and an image that is
// one FAT32 file system without a partition table.
void build_volume_images(volume_images_s& v)
{
    ASSERT_TRUE(v.dir.isValid());
    v.partitioned = v.dir.filePath("parted.img");
    make_sparse(v.partitioned, 64ull << 20);
    run("mkfs.fat", {"-F", "16", "-n", "FATVOL", "--offset", "2048", v.partitioned, "20480"});
    splice(v.partitioned, 43008, make_ntfs(v.dir.path(), "n.ntfs", 61440));
    QByteArray mbr = read_at(v.partitioned, 0, 512);
    mbr.replace(446, 16, mbr_entry(0x06, 2048, 40960));
    mbr.replace(462, 16, mbr_entry(0x07, 43008, 61440));
    mbr[510] = char(0x55);
    mbr[511] = char(0xAA);
    write_at(v.partitioned, 0, mbr);
    v.whole = make_fat32(v.dir.path(), "whole.img", 140000);
}

}  // namespace

TEST(linux_volumes, partitions_of_images_and_a_whole_image)
{
    volume_images_s v;
    build_volume_images(v);
    if (HasFatalFailure())
        return;
    qputenv("VANTREL_IMAGES_ONLY", "1");
    set_drive_images({v.partitioned, v.whole});
    const int result = enumerate_volumes();
    set_drive_images({});
    qunsetenv("VANTREL_IMAGES_ONLY");
    ASSERT_EQ(result, 0);

    struct expected_s {
        QString path;
        const char* file_system;
        const char* label;
        std::int32_t partition, disk;
        std::uint64_t start, sectors;
    };
    const expected_s expected[] = {
        {v.partitioned + "@p1", "FAT16", "FATVOL", 1, 0, 2048, 40960},
        {v.partitioned + "@p2", "NTFS", "LOST", 2, 0, 43008, 61440},
        {v.whole + "@p0", "FAT32", "LOST", 0, 1, 0, 140000},
    };
    ASSERT_EQ(volume_item_list.size(), 4);
    for (int i = 0; i < 3; ++i) {
        const volume_item_s& item = volume_item_list[i + 1];
        const expected_s& e = expected[i];
        SCOPED_TRACE(e.path.toStdString());
        EXPECT_EQ(item.volume_path, e.path);
        EXPECT_EQ(item.device_name, e.path);
        EXPECT_EQ(item.root_path, e.path);  // not mounted
        EXPECT_EQ(item.file_system, e.file_system);
        EXPECT_EQ(item.label, e.label);
        EXPECT_EQ(item.partition_number, e.partition);
        EXPECT_EQ(item.disk_number, e.disk);
        EXPECT_EQ(item.start_sector, e.start);
        EXPECT_EQ(item.sector_count, e.sectors);
        EXPECT_EQ(item.total_bytes, e.sectors * 512);
        EXPECT_EQ(item.free_bytes, 0u);
    }

    // A volume opens as a device of its own: the FAT16 boot sector is its first sector.
    QString error;
    std::unique_ptr<block_device> fat = open_volume(v.partitioned + "@p1", &error);
    ASSERT_TRUE(fat) << error.toStdString();
    EXPECT_EQ(fat->size(), 40960ull * 512);
    char boot[512];
    ASSERT_EQ(fat->read_at(0, boot, 512), 512);
    EXPECT_EQ(QByteArray(boot + 54, 5), QByteArray("FAT16"));
    EXPECT_EQ(fat->read_at(fat->size() - 100, boot, 512), 100);  // the window ends with the partition
    EXPECT_FALSE(open_volume(v.partitioned + "@p7", &error));
    EXPECT_TRUE(error.contains("no partition 7")) << error.toStdString();
}

TEST(linux_volumes, a_corrupt_partition_table_still_lists_what_it_can)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("corrupt.img");
    make_sparse(path, 8ull << 20);
    QByteArray mbr(512, '\0');
    mbr.replace(446, 16, mbr_entry(0x07, 0xFFFFFF00u, 0xFFFFFFF0u));  // far past the end
    mbr.replace(462, 16, mbr_entry(0x06, 100, 4000000));              // runs past the end
    mbr[510] = char(0x55);
    mbr[511] = char(0xAA);
    write_at(path, 0, mbr);
    linux_volume_platform p;
    qputenv("VANTREL_IMAGES_ONLY", "1");
    set_drive_images({path});
    EXPECT_EQ(enumerate_volumes(p), 0);
    set_drive_images({});
    qunsetenv("VANTREL_IMAGES_ONLY");
    // The entry that starts past the end is left out; the one that runs past it is cut.
    ASSERT_EQ(volume_item_list.size(), 2);
    const volume_item_s& item = volume_item_list[1];
    EXPECT_EQ(item.volume_path, path + "@p2");
    EXPECT_EQ(item.start_sector, 100u);
    EXPECT_EQ(item.sector_count, 16384u - 100);
    EXPECT_TRUE(item.file_system.isEmpty());
}
