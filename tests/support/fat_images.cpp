#include "tests/support/fat_images.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <stdexcept>

#include "disk/device_registry.h"
#include "tests/support/images.h"

namespace test_images {

QString fat_image_s::mtools_image() const
{
    return offset == 0 ? path : QStringLiteral("%1@@%2").arg(path).arg(offset);
}

fat_image_s make_fat_image(const QString& dir, const QString& name, int fat_bits, bool partitioned, int kib,
                           const QStringList& mkfs_args)
{
    fat_image_s img;
    img.path = dir + "/" + name;
    QFile::remove(img.path);
    img.offset = partitioned ? 2048 * 512 : 0;
    make_sparse(img.path, img.offset + std::uint64_t(kib) * 1024);
    QStringList args{"-F", QString::number(fat_bits), "-n", "TESTVOL"};
    if (partitioned)
        args << "--offset"
             << "2048";
    args << mkfs_args << img.path << QString::number(kib);
    run("mkfs.fat", args);
    if (partitioned) {
        QByteArray mbr(512, '\0');
        QByteArray entry(16, '\0');
        entry[4] = char(fat_bits == 32 ? 0x0C : fat_bits == 16 ? 0x06 : 0x01);
        const std::uint32_t start = 2048, count = std::uint32_t(kib) * 2;
        for (int i = 0; i < 4; ++i) {
            entry[8 + i] = char(start >> (8 * i));
            entry[12 + i] = char(count >> (8 * i));
        }
        mbr.replace(446, 16, entry);
        mbr[510] = char(0x55);
        mbr[511] = char(0xAA);
        write_at(img.path, 0, mbr);
    }
    img.volume_path = img.path + (partitioned ? "@p1" : "@p0");
    return img;
}

void mtools(const QString& command, const fat_image_s& image, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MTOOLS_SKIP_CHECK", "1");
    env.insert("MTOOLS_NO_VFAT", "0");
    p.setProcessEnvironment(env);
    p.start(tool(command), QStringList{"-i", image.mtools_image()} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        throw std::runtime_error(
            (command + " " + args.join(' ') + " failed: " + QString::fromLocal8Bit(p.readAllStandardError()))
                .toStdString());
}

QString make_file(const QString& dir, const QString& name, std::size_t size, int seed, const QString& modified)
{
    const QString path = dir + "/" + name;
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    QRandomGenerator gen(static_cast<quint32>(seed));
    for (auto& b : bytes)
        b = char(gen.generate());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + path).toStdString());
    f.flush();  // so that closing writes nothing more and keeps the time set below
    if (!f.setFileTime(QDateTime::fromString(modified, "yyyy-MM-dd HH:mm:ss"), QFileDevice::FileModificationTime))
        throw std::runtime_error(("cannot set the time of " + path).toStdString());
    return path;
}

std::uint64_t patch_entry(const fat_image_s& image, const QByteArray& name11,
                          const std::function<void(QByteArray&)>& patch)
{
    QFile f(image.path);
    if (!f.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot open image");
    const QByteArray tail = name11.mid(1);
    const qint64 block = 1 << 20;
    for (qint64 pos = 0; pos < f.size(); pos += block) {
        f.seek(pos);
        const QByteArray data = f.read(block);
        for (qsizetype at = 0; at + 32 <= data.size(); at += 32) {
            if (data.mid(at + 1, 10) != tail)
                continue;
            QByteArray entry = data.mid(at, 32);
            patch(entry);
            f.seek(pos + at);
            f.write(entry);
            return std::uint64_t(pos + at);
        }
    }
    return 0;
}

QStringList deleted_files(const fat_image_s& img, const QString& src, const std::vector<made_file_s>& files)
{
    QDir().mkpath(src);
    QStringList sources, names;
    for (const made_file_s& f : files) {
        sources << make_file(src, f.name, f.size, f.seed);
        names << "::/" + f.name;
    }
    mtools("mcopy", img, QStringList{"-m"} + sources + QStringList{"::/"});
    mtools("mdel", img, names);
    return sources;
}

namespace {

// A little-endian value of up to four bytes, and back.
std::uint32_t le_value(const QByteArray& bytes)
{
    std::uint32_t v = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        v |= std::uint32_t(std::uint8_t(bytes[i])) << (8 * i);
    return v;
}

QByteArray le_bytes(std::uint32_t value, int n)
{
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = char(value >> (8 * i));
    return bytes;
}

// Where the entries of the image's FATs lie: the first FAT's byte offset, the bytes between
// two copies, the copies, and the bytes of one entry.
struct fat_layout_s {
    std::uint64_t first = 0;
    std::uint64_t fat_bytes = 0;
    int copies = 0;
    int entry_bytes = 0;
};

fat_layout_s fat_layout(const fat_image_s& image)
{
    const QByteArray boot = read_at(image.path, image.offset, 512);
    const auto u16 = [&](int at) { return le_value(boot.mid(at, 2)); };
    const std::uint32_t small = u16(22);
    const bool fat32 = small == 0;
    fat_layout_s l;
    l.first = image.offset + std::uint64_t(u16(14)) * 512;
    l.fat_bytes = std::uint64_t(fat32 ? le_value(boot.mid(36, 4)) : small) * 512;
    l.copies = std::uint8_t(boot[16]);
    l.entry_bytes = fat32 ? 4 : 2;
    return l;
}

// Sets the next-free hint of a FAT32 volume's FSInfo sector (0xFFFFFFFF: none); a FAT12 or
// FAT16 volume has none.
void set_next_free_hint(const fat_image_s& img, std::uint32_t value)
{
    const QByteArray boot = read_at(img.path, img.offset, 512);
    if (boot[22] != 0 || boot[23] != 0)
        return;
    write_at(img.path, img.offset + std::uint64_t(le_value(boot.mid(48, 2))) * 512 + 492, le_bytes(value, 4));
}

}  // namespace

reused_clusters_s reuse_clusters(const fat_image_s& img, const QString& src, std::size_t old_size)
{
    // The live file goes into a folder of its own: in the root it would take the deleted
    // entry of OLD.TXT too.
    mtools("mmd", img, {"::/LIVE"});
    const QStringList gone = deleted_files(img, src, {{"OLD.TXT", old_size, 41}, {"FREE.TXT", 2000, 42}});
    // mtools allocates a FAT32 volume's clusters from the next-free hint in its FSInfo
    // sector; without the hint it starts at the first free cluster, where OLD.TXT lay.
    set_next_free_hint(img, 0xFFFFFFFF);
    const QString live = make_file(src, "NEW.TXT", old_size, 43);
    mtools("mcopy", img, {"-m", live, "::/LIVE/"});
    return {gone[0], gone[1], live};
}

std::uint32_t fat_entry(const fat_image_s& image, std::uint32_t cluster)
{
    const fat_layout_s l = fat_layout(image);
    const std::uint32_t v =
        le_value(read_at(image.path, l.first + std::uint64_t(cluster) * l.entry_bytes, std::size_t(l.entry_bytes)));
    return l.entry_bytes == 4 ? v & 0x0FFFFFFF : v;
}

void set_fat_entry(const fat_image_s& image, std::uint32_t cluster, std::uint32_t value)
{
    const fat_layout_s l = fat_layout(image);
    const QByteArray bytes = le_bytes(value, l.entry_bytes);
    for (int copy = 0; copy < l.copies; ++copy)
        write_at(image.path, l.first + std::uint64_t(copy) * l.fat_bytes + std::uint64_t(cluster) * l.entry_bytes,
                 bytes);
}

std::uint32_t fat_cluster_bytes(const fat_image_s& image)
{
    return std::uint32_t(std::uint8_t(read_at(image.path, image.offset + 13, 1)[0])) * 512;
}

std::uint32_t first_cluster(const fat_image_s& image, const QByteArray& name11)
{
    std::uint32_t first = 0;
    patch_entry(image, name11, [&](QByteArray& e) { first = le_value(e.mid(26, 2)) | le_value(e.mid(20, 2)) << 16; });
    if (first < 2)
        throw std::runtime_error(("no entry " + name11 + " in the image").toStdString());
    return first;
}

crossed_run_s cross_run(const fat_image_s& img, const QString& src, std::size_t deleted_size, std::uint32_t at,
                        std::size_t live_size, std::vector<made_file_s> others)
{
    // The live file goes into a folder made first, so that neither its entry nor the
    // folder's cluster lands in the deleted file's place.
    mtools("mmd", img, {"::/LIVE"});
    crossed_run_s run;
    others.push_back({"DEL.BIN", deleted_size, 51});
    run.others = deleted_files(img, src, others);
    run.deleted = run.others.takeLast();
    run.first = first_cluster(img, "DEL     BIN");
    // mtools takes the first free cluster after the hint: the one `at` clusters in.
    set_next_free_hint(img, run.first + at - 1);
    run.live = make_file(src, "NEW.BIN", live_size, 52);
    mtools("mcopy", img, {"-m", run.live, "::/LIVE/"});
    return run;
}

unreadable_sector_s::~unreadable_sector_s()
{
    set_unreadable_ranges(image, {});
}

std::unique_ptr<unreadable_sector_s> make_unreadable(const QString& image, const QString& file, std::uint64_t offset)
{
    const QByteArray bytes = read_at(image, 0, std::size_t(QFileInfo(image).size()));
    const qsizetype at = bytes.indexOf(read_at(file, offset, 512));
    if (at <= 0)
        throw std::runtime_error("the file's bytes are not in " + image.toStdString());
    auto sector = std::make_unique<unreadable_sector_s>();
    sector->image = image;
    set_unreadable_ranges(image, {{std::uint64_t(at), std::uint64_t(at) + 512}});
    return sector;
}

}  // namespace test_images
