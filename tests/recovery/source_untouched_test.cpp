// A recovery tool must never change what it recovers from. Each engine works on an image
// whose every open goes through a watching wrapper: after a scan, a recovery of every found
// file (what a preview does too), a save and a load of the results, the image hashes as
// before, no open asked for writing and nothing was written. The partition repair is the
// one writer, and it writes sector 0 and nothing else.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "disk/block_device.h"
#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "disk/partition_repair.h"
#include "recovery/fat/fat_recovery.h"
#include "recovery/ntfs/ntfs_recovery.h"
#include "recovery/raw/raw_recovery.h"
#include "tests/support/raw_fixtures.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

struct watch_log_s {
    QMutex lock;
    int opens = 0;
    int writable_opens = 0;
    std::vector<byte_range_s> writes;
};

class watched_device : public block_device {
public:
    watched_device(std::unique_ptr<block_device> inner, std::shared_ptr<watch_log_s> log)
        : inner_(std::move(inner)), log_(std::move(log))
    {
    }
    std::uint64_t size() const override { return inner_->size(); }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override { return inner_->read_at(off, buf, n); }
    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override
    {
        {
            QMutexLocker g(&log_->lock);
            log_->writes.push_back({off, off + n});
        }
        return inner_->write_at(off, buf, n);
    }
    bool flush() override { return inner_->flush(); }
    std::uint64_t next_data(std::uint64_t off) override { return inner_->next_data(off); }
    std::optional<disk_geometry_s> reported_geometry() const override { return inner_->reported_geometry(); }

private:
    std::unique_ptr<block_device> inner_;
    std::shared_ptr<watch_log_s> log_;
};

// Every open of the image's path, by any engine on any thread, goes through the wrapper.
class image_watch {
public:
    explicit image_watch(const QString& path) : path_(path), log_(std::make_shared<watch_log_s>())
    {
        register_device(path_, [path = path_, log = log_](device_access access) -> std::unique_ptr<block_device> {
            {
                QMutexLocker g(&log->lock);
                ++log->opens;
                if (access == device_access::read_write)
                    ++log->writable_opens;
            }
            std::unique_ptr<block_device> inner = open_file_device(path, access);
            if (!inner)
                return nullptr;
            return std::make_unique<watched_device>(std::move(inner), log);
        });
    }
    ~image_watch() { unregister_device(path_); }

    int opens() const
    {
        QMutexLocker g(&log_->lock);
        return log_->opens;
    }
    int writable_opens() const
    {
        QMutexLocker g(&log_->lock);
        return log_->writable_opens;
    }
    std::vector<byte_range_s> writes() const
    {
        QMutexLocker g(&log_->lock);
        return log_->writes;
    }

private:
    QString path_;
    std::shared_ptr<watch_log_s> log_;
};

class source_untouched : public engine_fixture {
protected:
    // The checks after an engine's work on the watched image.
    void expect_untouched(const image_watch& watch, const QString& image, const QByteArray& md5)
    {
        EXPECT_GT(watch.opens(), 0) << "the engine did not read through the device layer";
        EXPECT_EQ(watch.writable_opens(), 0);
        EXPECT_TRUE(watch.writes().empty());
        EXPECT_EQ(file_md5(image), md5);
    }

    // The deep engine on the same volume: scan, recover all, save, load, recover again.
    void deep_scan_untouched(const image_watch& watch, const QString& image, const QString& volume_path,
                             const QByteArray& md5)
    {
        volume_item_s v;
        v.volume_path = volume_path;
        raw_recovery_c& engine = scan(v, true).deep_engine();
        ASSERT_FALSE(engine.found_files.isEmpty());
        for (const raw_entry_s& e : engine.found_files)
            EXPECT_EQ(engine.recover_item(e.index, dir_.filePath("deep.bin")), 0);
        const QString saved = dir_.filePath("result.sav");
        ASSERT_EQ(engine.write_scan_result(saved), 0);
        raw_recovery_c loaded;
        ASSERT_EQ(loaded.read_scan_result(saved), volume_path);
        loaded.set_volume(v);
        for (const raw_entry_s& e : loaded.found_files)
            EXPECT_EQ(loaded.recover_item(e.index, dir_.filePath("deep.bin")), 0);
        expect_untouched(watch, image, md5);
    }
};

}  // namespace

TEST_F(source_untouched, fat_engine_and_deep_scan)
{
    const fat_image_s img = make_fat_image(dir_.path(), "fat.img", 16, true, 32768);
    const QString png = dir_.filePath("PICTURE.PNG");
    raw_fixtures::rng g(3);
    write_at(png, 0, raw_fixtures::png(g));
    const QString keep = make_file(dir_.path(), "KEEP.TXT", 3000, 4);
    mtools("mmd", img, {"::/OLD"});
    mtools("mcopy", img, {"-m", png, keep, "::/OLD/"});
    mtools("mcopy", img, {"-m", keep, "::/"});
    mtools("mdeltree", img, {"::/OLD"});
    const QByteArray md5 = file_md5(img.path);

    image_watch watch(img.path);
    fat_recovery_c& engine = scan(use({img.path}, img.volume_path)).fat_engine();
    int recovered = 0;
    for (const auto& [cluster, entry] : engine.entry_table)
        if (!(entry.attributes & fat_attr_folder)) {
            EXPECT_EQ(engine.recover_item(cluster, dir_.filePath("fat.bin")), 0);
            ++recovered;
        }
    EXPECT_EQ(recovered, 2);
    expect_untouched(watch, img.path, md5);
    deep_scan_untouched(watch, img.path, img.volume_path, md5);
}

TEST_F(source_untouched, ntfs_engine)
{
    const ntfs_image_s img = make_ntfs_image(dir_.path(), "ntfs.img", {8, 1, false}, [](const QString& m) {
        make_folder(m + "/old");
        write_file(m + "/old/a.bin", random_bytes(30000, 1));
        write_file(m + "/b.txt", "small and resident");
        QFile::remove(m + "/old/a.bin");
        QFile::remove(m + "/b.txt");
    });
    const QByteArray md5 = file_md5(img.path);

    image_watch watch(img.path);
    ntfs_recovery_c& engine = scan(use({img.path}, img.volume_path)).ntfs_engine();
    int recovered = 0;
    for (const auto& [record, entry] : engine.entry_table)
        if ((entry.flags() & ntfs_flag_file) && (entry.flags() & ntfs_flag_deleted)) {
            EXPECT_EQ(engine.recover_item(record, dir_.filePath("ntfs.bin")), 0);
            ++recovered;
        }
    EXPECT_EQ(recovered, 2);
    expect_untouched(watch, img.path, md5);
}

TEST_F(source_untouched, partition_search_reads_and_the_repair_writes_only_sector_0)
{
    const ntfs_image_s img = make_ntfs_image(dir_.path(), "disk.img", {8, 2, false}, [](const QString&) {});
    // The partition table is lost.
    QByteArray sector0 = read_at(img.path, 0, 512);
    sector0.replace(446, 64, QByteArray(64, '\0'));
    write_at(img.path, 0, sector0);
    const auto whole = [&] { return read_at(img.path, 0, static_cast<std::size_t>(QFileInfo(img.path).size())); };
    const QByteArray before = whole();

    image_watch watch(img.path);
    const std::optional<drive_item_s> drive = make_drive_item(img.path);
    ASSERT_TRUE(drive);
    partition_repair_c repair;
    repair.set_drive(*drive);
    repair.set_backup_folder(dir_.path());
    ASSERT_EQ(repair.scan_drive(*drive), 0);
    ASSERT_EQ(repair.found_count(), 1);
    EXPECT_EQ(watch.writable_opens(), 0);
    EXPECT_TRUE(watch.writes().empty());
    EXPECT_EQ(whole(), before);

    ASSERT_EQ(repair.write_partition_table(), 0);
    EXPECT_EQ(watch.writable_opens(), 1);
    const std::vector<byte_range_s> writes = watch.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].first, 0u);
    EXPECT_EQ(writes[0].last, 512u);
    const QByteArray after = whole();
    EXPECT_EQ(after.mid(512), before.mid(512));
    EXPECT_NE(after.left(512), before.left(512));
}
