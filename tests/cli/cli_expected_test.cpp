// vantrel-cli's JSON documents on small images, compared byte for byte with the files in
// tests/cli/expected: any change a refactor makes to what the CLI prints shows up here.
// The images are made afresh with fixed contents and times; the folder they lie in is
// written as $DIR. VANTREL_UPDATE_EXPECTED=1 rewrites the files from the present output.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

// Runs vantrel-cli over images only, in UTC, and gives its stdout with the image folder
// written as $DIR; fails the test on a non-zero exit.
QByteArray cli_json(const QStringList& args, const QString& dir)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_IMAGES_ONLY", "1");
    env.insert("TZ", "UTC");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VANTREL_CLI, args);
    if (!p.waitForFinished(300000)) {
        ADD_FAILURE() << "vantrel-cli did not end";
        return {};
    }
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    return p.readAllStandardOutput().replace(QDir(dir).absolutePath().toUtf8(), "$DIR");
}

void expect_as_stored(const QByteArray& output, const QString& name)
{
    const QString path = QStringLiteral(VANTREL_CLI_EXPECTED "/") + name;
    if (qEnvironmentVariableIntValue("VANTREL_UPDATE_EXPECTED") == 1) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        f.write(output);
        return;
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    EXPECT_EQ(output.toStdString(), f.readAll().toStdString()) << "differs from " << path.toStdString();
}

// Sets a FAT directory entry's creation stamp, which mtools takes from the clock.
void fix_created(const fat_image_s& img, const QByteArray& name11)
{
    ASSERT_NE(patch_entry(img, name11,
                          [](QByteArray& e) {
                              const std::uint16_t time = (9 << 11) | (30 << 5) | 5,
                                                  date = ((2010 - 1980) << 9) | (3 << 5) | 21;
                              e[13] = 0;
                              e[14] = char(time & 0xFF);
                              e[15] = char(time >> 8);
                              e[16] = char(date & 0xFF);
                              e[17] = char(date >> 8);
                          }),
              0u)
        << name11.toStdString();
}

}  // namespace

TEST(cli_expected, volumes_and_search)
{
    QTemporaryDir dir;
    const QString whole = make_fat32(dir.path(), "whole.img", 140000);
    const fat_image_s parted = make_fat_image(dir.path(), "parted.img", 16, true, 16384);
    const QString empty = dir.filePath("empty.img");
    make_sparse(empty, 4 << 20);
    expect_as_stored(cli_json({"volumes", "--json", whole, parted.path, empty}, dir.path()), "volumes.json");

    const QString lost = dir.filePath("lost.img");
    make_sparse(lost, 40 * cylinder_bytes);
    splice(lost, 2048, make_fat32(dir.path(), "a.fat", 140000));
    splice(lost, 400000, make_ntfs(dir.path(), "b.ntfs", 30000));
    expect_as_stored(cli_json({"search", lost, "--json"}, dir.path()), "search.json");
}

TEST(cli_expected, fat_scan)
{
    QTemporaryDir dir;
    const fat_image_s img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
    const QString files = dir.filePath("files");
    QDir().mkpath(files);
    mtools("mmd", img, {"::/DOCS", "::/DOCS/OLD", "::/PHOTOS"});
    struct file_s {
        const char* folder;
        const char* name;
        std::size_t size;
        bool deleted;
    };
    const file_s table[] = {
        {"/", "ABC.TXT", 5000, true},
        {"/", "KEPT.TXT", 700, false},
        {"/DOCS/", "REPORT.TXT", 3000, true},
        {"/DOCS/OLD/", "A Long Name.doc", 9000, true},
        {"/PHOTOS/", "BEACH.JPG", 40000, false},
    };
    int seed = 1;
    for (const file_s& f : table)
        mtools("mcopy", img, {"-m", make_file(files, f.name, f.size, seed++), QString("::") + f.folder});
    for (const file_s& f : table)
        if (f.deleted)
            mtools("mdel", img, {QString("::") + f.folder + f.name});
    mtools("mdeltree", img, {"::/PHOTOS"});
    for (const QByteArray& name11 : {QByteArray("?BC     TXT"), QByteArray("?EPORT  TXT"), QByteArray("?LONGN~1DOC"),
                                     QByteArray("?EACH   JPG"), QByteArray("?HOTOS     ")})
        fix_created(img, name11);
    expect_as_stored(cli_json({"scan", img.volume_path, "--json"}, dir.path()), "scan_fat.json");
    expect_as_stored(cli_json({"recover", img.volume_path, "--out", dir.filePath("out"), "--json"}, dir.path()),
                     "recover_fat.json");
}

TEST(cli_expected, ntfs_scan)
{
    QTemporaryDir dir;
    const ntfs_image_s img = make_ntfs_image(dir.path(), "ntfs.img", {32, 1, false}, [&](const QString& m) {
        make_folder(m + "/photos");
        make_folder(m + "/photos/2010");
        write_file(m + "/photos/beach.jpg", random_bytes(70000, 11));
        write_file(m + "/photos/2010/snow.jpg", random_bytes(3000, 12));
        write_file(m + "/notes.txt", text_bytes(500, 13));
        write_file(m + "/kept.txt", "live");
        std::int64_t t = 1300000000;
        for (const char* p : {"/photos/beach.jpg", "/photos/2010/snow.jpg", "/notes.txt", "/kept.txt"}) {
            t += 86400;
            set_ntfs_times(m + p, t, t + 3600);
        }
        for (const char* p : {"/photos/beach.jpg", "/photos/2010/snow.jpg", "/notes.txt"})
            QFile::remove(m + p);
    });
    expect_as_stored(cli_json({"scan", img.volume_path, "--json"}, dir.path()), "scan_ntfs.json");
    expect_as_stored(cli_json({"recover", img.volume_path, "--out", dir.filePath("out"), "--json"}, dir.path()),
                     "recover_ntfs.json");
}

TEST(cli_expected, deep_scan)
{
    QTemporaryDir dir;
    const QString blob = dir.filePath("blob");
    write_at(blob, 0, random_bytes(300000, 5));
    run("gzip", {"-n", "-k", "-9", blob});
    QFile gz(blob + ".gz");
    ASSERT_TRUE(gz.open(QIODevice::ReadOnly));
    const QString image = dir.filePath("raw.img");
    make_sparse(image, 8 << 20);
    const QByteArray packed = gz.readAll();
    write_at(image, 1000 * 512, packed);
    write_at(image, 3000 * 512, packed.left(packed.size() / 2));  // a cut stream is no file
    write_at(image, 5000 * 512, packed);
    expect_as_stored(cli_json({"scan", image + "@p0", "--deep", "--json"}, dir.path()), "scan_deep.json");
}
