// Every input a fuzzer once found a fault with is kept under regressions/TARGET/ and run
// through its target again; a target aborts when one of its checks fails. The targets are
// also run on real images, so that their checks are known to hold for sound input.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "fuzz/targets.h"
#include "tests/support/fat_images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

int run_target(fuzz_function f, const QByteArray& bytes)
{
    return f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
}

QByteArray read_all(const QString& path, qint64 limit = -1)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return limit < 0 ? f.readAll() : f.read(limit);
}

}  // namespace

TEST(fuzz_regressions, kept_inputs_run_clean)
{
    const QString root = VANTREL_FUZZ_REGRESSIONS;
    QStringList known;
    for (const fuzz_target_s& t : fuzz_targets())
        known << QString::fromLatin1(t.name.data(), static_cast<qsizetype>(t.name.size()));
    // A folder that names no target would be skipped silently.
    for (const QString& folder : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_TRUE(known.contains(folder)) << folder.toStdString();

    for (const fuzz_target_s& t : fuzz_targets()) {
        QDirIterator it(root + "/" + known[&t - fuzz_targets().data()], QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            SCOPED_TRACE(path.toStdString());
            EXPECT_EQ(run_target(t.run, read_all(path)), 0);
        }
    }
}

TEST(fuzz_targets, hold_on_real_volumes)
{
    QTemporaryDir dir;
    const fat_image_s fat = make_fat_image(dir.path(), "f.img", 12, false, 256, {"-S", "512", "-s", "1"});
    const QString a = make_file(dir.path(), "A long file name.txt", 5000, 1);
    mtools("mmd", fat, {"::/Sub folder"});
    mtools("mcopy", fat, {"-m", a, "::/Sub folder/"});
    mtools("mdel", fat, {"::/Sub folder/A long file name.txt"});
    EXPECT_EQ(run_target(fuzz_fat, read_all(fat.path)), 0);

    const ntfs_image_s ntfs = make_ntfs_image(dir.path(), "n.img", {2, 0, false}, [](const QString& m) {
        write_file(m + "/gone.bin", random_bytes(5000, 1));
        QFile::remove(m + "/gone.bin");
    });
    EXPECT_EQ(run_target(fuzz_ntfs, read_all(ntfs.path, 128 * 1024)), 0);
    EXPECT_EQ(run_target(fuzz_partition_search, read_all(ntfs.path)), 0);
}
