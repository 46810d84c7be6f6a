// Writes the fuzz targets' seed inputs into a folder, one subfolder per target, from the
// same generated files and images the tests use: vantrel-fuzz-seeds OUTPUT-FOLDER.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <algorithm>
#include <exception>
#include <string_view>

#include "recovery/raw/raw_recovery.h"
#include "recovery/signatures/signature.h"
#include "tests/support/raw_fixtures.h"
#include "tests/support/fat_images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

QString out_root;
QTemporaryDir* work = nullptr;

void write_seed(const QString& target, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(out_root + "/" + target);
    QFile f(out_root + "/" + target + "/" + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write seed " + f.fileName()).toStdString());
}

QByteArray read_all(const QString& path, qint64 limit = -1)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(("cannot read " + path).toStdString());
    return limit < 0 ? f.readAll() : f.read(limit);
}

// Each file behind the byte that selects the format whose header it starts with.
void signature_seeds()
{
    raw_fixtures::rng g(7);
    const std::vector<const signature_s*>& formats = signature_registry();
    int n = 0;
    std::vector<raw_fixtures::fixture_s> files = raw_fixtures::all_formats(g);
    // JPEGs that list what they store behind their EOI, in an MPF index or an XMP container.
    files.push_back(
        {"jpg", raw_fixtures::jpeg_multi_picture(raw_fixtures::jpeg(g), {raw_fixtures::jpeg(g, 300)}, true)});
    files.push_back(
        {"jpg", raw_fixtures::jpeg_container(raw_fixtures::jpeg(g), 8, {{"video/mp4", raw_fixtures::mp4(g, "mp42")}})});
    for (const raw_fixtures::fixture_s& f : files) {
        const auto starts = [&](const signature_header_s& h) {
            return f.bytes.size() >= static_cast<qsizetype>(h.offset + h.bytes.size()) &&
                   std::string_view(f.bytes.constData() + h.offset, h.bytes.size()) == h.bytes;
        };
        std::size_t index = 0;
        while (index < formats.size() &&
               std::none_of(formats[index]->headers.begin(), formats[index]->headers.end(), starts))
            ++index;
        if (index == formats.size())
            throw std::runtime_error(("no format starts " + f.extension).toStdString());
        write_seed("signatures", QString("%1.%2").arg(n++, 2, 10, QChar('0')).arg(f.extension),
                   QByteArray(1, static_cast<char>(index)) + f.bytes);
    }
}

// A FAT volume with long names, folders, and deleted files and folders; cut to its first
// `keep` bytes, which hold the boot sector, the FATs and the first directories.
void fat_seed(int bits, int kib, const QStringList& mkfs, qint64 keep)
{
    const QString dir = work->path();
    const fat_image_s img = make_fat_image(dir, QString("seed%1.img").arg(bits), bits, false, kib, mkfs);
    const QString a = make_file(dir, "A long file name.txt", 700, 1);
    const QString b = make_file(dir, "B.BIN", 3000, 2);
    const QString c = make_file(dir, "Gone with the wind.dat", 1500, 3);
    mtools("mmd", img, {"::/Folder one", "::/Folder one/Inner", "::/GONE"});
    mtools("mcopy", img, {"-m", a, b, c, "::/"});
    mtools("mcopy", img, {"-m", a, c, "::/Folder one/Inner/"});
    mtools("mcopy", img, {"-m", b, "::/GONE/"});
    mtools("mdel", img, {"::/Gone with the wind.dat", "::/Folder one/Inner/A long file name.txt"});
    mtools("mdeltree", img, {"::/GONE"});
    write_seed("fat", QString("fat%1.img").arg(bits), read_all(img.path, keep));
}

void ntfs_seed()
{
    const ntfs_image_s img = make_ntfs_image(work->path(), "seed.ntfs", {2, 0, false}, [](const QString& m) {
        make_folder(m + "/Documents");
        make_folder(m + "/Documents/Old");
        write_file(m + "/Documents/letter.txt", "Dear reader, this file stays.");
        write_file(m + "/Documents/Old/draft.txt", text_bytes(6000, 1));
        write_file(m + "/photo.jpg", random_bytes(9000, 2));
        write_file(m + "/small.txt", "resident");
        QFile::remove(m + "/Documents/Old/draft.txt");
        QFile::remove(m + "/small.txt");
        QFile::remove(m + "/photo.jpg");
    });
    write_seed("ntfs", "ntfs.img", read_all(img.path, 128 * 1024));
}

// Drives with boot sectors of both kinds at sectors 63 and 130, and one whose NTFS boot
// sector claims 0 sectors and one that claims 2^64-1.
void partition_seeds()
{
    const QString dir = work->path();
    const QByteArray ntfs = read_all(make_ntfs_image(dir, "p.ntfs", {2, 0, false}, [](const QString&) {}).path, 512);
    QByteArray fat32 = read_all(make_fat_image(dir, "p32.img", 32, false, 34 * 1024).path, 1024);
    fat32.replace(3, 8, "MSWIN4.1");
    QByteArray drive(128 * 1024, '\0');
    drive.replace(63 * 512, 512, ntfs);
    drive.replace(130 * 512, 1024, fat32);
    write_seed("partition_search", "two.img", drive);
    QByteArray zero = drive, huge = drive;
    zero.replace(63 * 512 + 40, 8, QByteArray(8, '\0'));
    huge.replace(63 * 512 + 40, 8, QByteArray(8, '\xff'));
    write_seed("partition_search", "zero-length.img", zero);
    write_seed("partition_search", "huge-length.img", huge);

    // Geometry (cylinders, heads, sectors), a count, then for each partition its kind, start
    // and end, and the old sector 0.
    const auto entries = [](std::int64_t cylinders, std::uint32_t heads, std::uint32_t sectors,
                            std::vector<std::pair<std::uint64_t, std::uint64_t>> parts) {
        QByteArray b;
        b.append(reinterpret_cast<const char*>(&cylinders), 8);
        b.append(reinterpret_cast<const char*>(&heads), 4);
        b.append(reinterpret_cast<const char*>(&sectors), 4);
        b.append(static_cast<char>(parts.size()));
        for (const auto& [start, end] : parts) {
            b.append('\1');
            b.append(reinterpret_cast<const char*>(&start), 8);
            b.append(reinterpret_cast<const char*>(&end), 8);
        }
        b.append(QByteArray(512, '\x5a'));
        return b;
    };
    write_seed("partition_entries", "usual", entries(1000, 255, 63, {{63, 409662}, {409663, 2000000}}));
    write_seed("partition_entries", "no-heads", entries(0, 0, 0, {{0, 0}}));
    write_seed("partition_entries", "wide",
               entries(-1, 0xffffffff, 0xffffffff, {{~0ull, 0}, {1ull << 32, ~0ull}, {5, 4}, {1, 2}, {3, 3}}));
}

void scan_result_seeds()
{
    raw_recovery_c engine;
    const char* extensions[] = {"jpg", "png", "docx", "8charext"};
    for (std::uint64_t i = 0; i < 4; ++i) {
        raw_entry_s e;
        e.index = i;
        e.offset = i * 4096;
        e.size = 1000 + i;
        const QByteArray ext = extensions[i];
        std::copy(ext.begin(), ext.end(), e.extension.begin());
        engine.found_files.append(e);
    }
    engine.device_path = "/dev/sdb1";
    const QString path = work->filePath("seed.sav");
    if (engine.write_scan_result(path) != 0)
        throw std::runtime_error("cannot write a scan-result file");
    write_seed("scan_result", "four.sav", read_all(path));
}

void language_seeds(const QString& source_root)
{
    write_seed("language", "shipped.ini", read_all(source_root + "/resources/language.ini"));
    write_seed("language", "small.ini",
               "[English]\r\nHello=\"Hello\\n\"\r\n[Deutsch]\r\nHello=\"Hallo\"\r\n[Deutsch]\r\nHello=\"no\"\r\n");
}

// The first byte chooses the file: even for the deep scan's configuration, odd for the
// program's settings.
void config_seeds()
{
    write_seed("config", "scan.conf",
               QByteArray(1, '\0') +
                   "# types\njpg on 64M\nzip off\npdf on 1G # big\nmp4 on 18446744073709551615\n"
                   "bogus on\npng maybe\n");
    write_seed("config", "settings.ini",
               QByteArray(1, '\1') + "[General]\nlanguage=Deutsch\nrecovery_folder=/home/user/recovered\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantrel-fuzz-seeds OUTPUT-FOLDER\n");
        return 2;
    }
    out_root = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    work = &dir;
    try {
        signature_seeds();
        fat_seed(12, 256, {"-S", "512", "-s", "1"}, 256 * 1024);
        fat_seed(16, 16 * 1024, {"-S", "512", "-s", "4"}, 160 * 1024);
        fat_seed(32, 34 * 1024, {"-S", "512", "-s", "1", "-f", "1"}, 384 * 1024);
        ntfs_seed();
        partition_seeds();
        scan_result_seeds();
        language_seeds(VANTREL_SOURCE_DIR);
        config_seeds();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
