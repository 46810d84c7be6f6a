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

reused_clusters_s reuse_clusters(const fat_image_s& img, const QString& src, std::size_t old_size)
{
    // The live file goes into a folder of its own: in the root it would take the deleted
    // entry of OLD.TXT too.
    mtools("mmd", img, {"::/LIVE"});
    const QStringList gone = deleted_files(img, src, {{"OLD.TXT", old_size, 41}, {"FREE.TXT", 2000, 42}});
    // mtools allocates a FAT32 volume's clusters from the next-free hint in its FSInfo
    // sector; without the hint it starts at the first free cluster, where OLD.TXT lay.
    const QByteArray boot = read_at(img.path, img.offset, 512);
    const bool fat32 = boot[22] == 0 && boot[23] == 0;
    if (fat32) {
        const std::uint64_t fsinfo = std::uint8_t(boot[48]) | std::uint64_t(std::uint8_t(boot[49])) << 8;
        write_at(img.path, img.offset + fsinfo * 512 + 492, QByteArray(4, char(0xFF)));
    }
    const QString live = make_file(src, "NEW.TXT", old_size, 43);
    mtools("mcopy", img, {"-m", live, "::/LIVE/"});
    return {gone[0], gone[1], live};
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
