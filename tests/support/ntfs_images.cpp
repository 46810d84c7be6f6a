#include "tests/support/ntfs_images.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "disk/le.h"
#include "tests/support/images.h"

namespace test_images {

namespace {

void require(bool ok, const QString& what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// Whether a file system is mounted at dir, from this process's mount table.
bool is_mounted(const QString& dir)
{
    const QString target = QFileInfo(dir).canonicalFilePath();
    QFile f("/proc/self/mountinfo");
    require(f.open(QIODevice::ReadOnly), "cannot read /proc/self/mountinfo");
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && QString::fromUtf8(fields[4]) == target)
            return true;
    }
    return false;
}

// ntfs-3g kept in the foreground (no_detach), so that the end of its process tells that
// it has written everything back to the image after the unmount.
class ntfs3g_mount {
public:
    ntfs3g_mount(const QString& image, const QString& dir, bool compression) : dir_(dir)
    {
        require(QDir().mkpath(dir), "cannot make " + dir);
        QString options = "no_detach";
        if (compression)
            options += ",compression";
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(tool("ntfs-3g"), {"-o", options, image, dir});
        require(process_.waitForStarted(30000), "ntfs-3g did not start");
        for (int i = 0; i < 600 && !is_mounted(dir); ++i) {
            if (process_.state() == QProcess::NotRunning)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!is_mounted(dir)) {
            process_.kill();
            process_.waitForFinished(10000);
            throw std::runtime_error(
                ("ntfs-3g could not mount " + image + ": " + QString::fromLocal8Bit(process_.readAll())).toStdString());
        }
        mounted_ = true;
    }

    // Only on the way out of a failed step: unmounts without throwing.
    ~ntfs3g_mount()
    {
        if (!mounted_)
            return;
        QProcess::execute("umount", {"-l", dir_});
        if (!process_.waitForFinished(30000)) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    void unmount()
    {
        run("umount", {dir_});
        mounted_ = false;
        require(process_.waitForFinished(120000), "ntfs-3g did not end after the unmount");
        require(process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0,
                "ntfs-3g failed: " + QString::fromLocal8Bit(process_.readAll()));
        require(!is_mounted(dir_), dir_ + " is still mounted");
    }

private:
    QString dir_;
    QProcess process_;
    bool mounted_ = false;
};

void set_le16(QByteArray& b, int off, std::uint16_t v)
{
    b[off] = char(v);
    b[off + 1] = char(v >> 8);
}

void set_le32(QByteArray& b, int off, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[off + i] = char(v >> (8 * i));
}

QByteArray mbr(int ntfs_partition, std::uint32_t ntfs_sectors)
{
    QByteArray s(512, '\0');
    for (int k = 1; k <= ntfs_partition; ++k) {
        const int entry = 446 + 16 * (k - 1);
        s[entry + 4] = char(0x07);  // the type says NTFS for all; only the last holds one
        set_le32(s, entry + 8, 2048u * std::uint32_t(k));
        set_le32(s, entry + 12, k == ntfs_partition ? ntfs_sectors : 2048u);
    }
    set_le16(s, 510, 0xAA55);
    return s;
}

void set_xattr(const QString& path, const char* name, const QByteArray& value)
{
    require(::setxattr(native(path).constData(), name, value.constData(), std::size_t(value.size()), 0) == 0,
            QString("cannot set %1 on %2: %3").arg(name, path, QString::fromLocal8Bit(std::strerror(errno))));
}

std::uint64_t nt_time(std::int64_t unix_seconds)
{
    // NTFS counts 100 ns steps from 1601-01-01, 11644473600 seconds before 1970.
    return static_cast<std::uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL;
}

QByteArray boot_sector_of(const ntfs_image_s& image)
{
    const QByteArray b = read_at(image.path, image.offset, 512);
    require(b.size() == 512 && b.mid(3, 4) == "NTFS", image.path + " has no NTFS boot sector");
    return b;
}

}  // namespace

ntfs_image_s make_ntfs_image(const QString& dir, const QString& name, const ntfs_layout_s& layout,
                             const std::function<void(const QString& mount)>& populate)
{
    require(layout.partition >= 0 && layout.partition <= 4, "partition must be 0 to 4");
    ntfs_image_s image;
    image.path = dir + "/" + name;
    QFile::remove(image.path);
    const std::uint64_t start_sector = 2048ull * std::uint64_t(layout.partition);
    const std::uint64_t sectors = 2048ull * std::uint64_t(layout.mib);
    image.offset = start_sector * 512;
    image.volume_path = image.path + "@p" + QString::number(layout.partition);

    // A partition's file system is built in a file of its own, since ntfs-3g mounts no
    // offset into an image, and spliced in afterwards.
    const QString fs_path = layout.partition == 0 ? image.path : image.path + ".fs";
    QFile::remove(fs_path);
    make_sparse(fs_path, sectors * 512);
    run("mkntfs", {"-F", "-Q", "-q", "-s", "512", "-p", QString::number(start_sector), "-H", "255", "-S", "63", "-L",
                   "LOST", fs_path});
    {
        ntfs3g_mount mount(fs_path, image.path + ".mnt", layout.compression);
        if (populate)
            populate(image.path + ".mnt");
        mount.unmount();
    }
    QDir().rmdir(image.path + ".mnt");
    if (layout.partition != 0) {
        make_sparse(image.path, (start_sector + sectors) * 512);
        write_at(image.path, 0, mbr(layout.partition, std::uint32_t(sectors)));
        splice(image.path, start_sector, fs_path);
        QFile::remove(fs_path);
    }
    return image;
}

QByteArray random_bytes(std::size_t size, int seed)
{
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    QRandomGenerator gen(static_cast<quint32>(seed));
    for (auto& b : bytes)
        b = char(gen.generate());
    return bytes;
}

QByteArray text_bytes(std::size_t size, int seed)
{
    QByteArray bytes;
    for (int line = 0; std::size_t(bytes.size()) < size; ++line)
        bytes += QByteArray("line ") + QByteArray::number(line) + " of text " + QByteArray::number(seed) +
                 ": the lost file comes back whole, byte for byte.\n";
    bytes.truncate(static_cast<qsizetype>(size));
    return bytes;
}

std::uint64_t write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(),
            "cannot write " + path);
    f.close();
    return record_of(path);
}

std::uint64_t write_sparse(const QString& path, std::uint64_t size,
                           const std::vector<std::pair<std::uint64_t, QByteArray>>& pieces, QByteArray* content)
{
    QFile f(path);
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(qint64(size)), "cannot write " + path);
    content->fill('\0', qsizetype(size));
    for (const auto& [offset, bytes] : pieces) {
        require(f.seek(qint64(offset)) && f.write(bytes) == bytes.size(), "cannot write " + path);
        content->replace(qsizetype(offset), bytes.size(), bytes);
    }
    f.close();
    return record_of(path);
}

std::uint64_t record_of(const QString& path)
{
    struct stat st {};
    require(::stat(native(path).constData(), &st) == 0, "cannot stat " + path);
    return static_cast<std::uint64_t>(st.st_ino);
}

std::uint64_t make_folder(const QString& path)
{
    require(QDir().mkdir(path), "cannot make the folder " + path);
    return record_of(path);
}

std::uint64_t write_interleaved(const QString& path, const QByteArray& bytes, const QString& other_path,
                                std::size_t block, std::size_t other_block)
{
    QFile f(path), other(other_path);
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered), "cannot write " + path);
    require(other.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered),
            "cannot write " + other_path);
    const QByteArray filler = random_bytes(other_block, 99);
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(block)) {
        const QByteArray part = bytes.mid(at, qsizetype(block));
        require(f.write(part) == part.size(), "cannot write " + path);
        require(other.write(filler) == filler.size(), "cannot write " + other_path);
    }
    f.close();
    other.close();
    return record_of(path);
}

void set_ntfs_times(const QString& path, std::int64_t created, std::int64_t modified)
{
    // Creation, modification, and two more times that we set to the modification time.
    QByteArray value(32, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(value.data());
    put_le64({p, 32}, 0, nt_time(created));
    put_le64({p, 32}, 8, nt_time(modified));
    put_le64({p, 32}, 16, nt_time(modified));
    put_le64({p, 32}, 24, nt_time(modified));
    set_xattr(path, "system.ntfs_times", value);
}

void set_dos_name(const QString& path, const QByteArray& dos_name)
{
    set_xattr(path, "system.ntfs_dos_name", dos_name);
}

void add_named_stream(const QString& path, const QString& name, const QByteArray& bytes)
{
    set_xattr(path, ("user." + name).toUtf8().constData(), bytes);
}

void set_compressed(const QString& folder)
{
    // The file attributes, big-endian; 0x800 is FILE_ATTRIBUTE_COMPRESSED.
    char value[4] = {};
    require(::getxattr(native(folder).constData(), "system.ntfs_attrib_be", value, 4) == 4,
            "cannot read the attributes of " + folder);
    value[2] = char(value[2] | 0x08);
    set_xattr(folder, "system.ntfs_attrib_be", QByteArray(value, 4));
}

std::uint32_t mft_record_bytes(const ntfs_image_s& image)
{
    const QByteArray b = boot_sector_of(image);
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.constData());
    const std::span<const std::uint8_t> s(p, 512);
    const std::uint32_t cluster = std::uint32_t(le16(s, 11)) * s[13];
    const auto per_record = static_cast<std::int8_t>(s[64]);
    // A negative count gives the record size as a power of two in bytes.
    return per_record < 0 ? 1u << -per_record : cluster * std::uint32_t(per_record);
}

std::uint64_t mft_record_offset(const ntfs_image_s& image, std::uint64_t n)
{
    const QByteArray b = boot_sector_of(image);
    const std::span<const std::uint8_t> s(reinterpret_cast<const std::uint8_t*>(b.constData()), 512);
    const std::uint64_t cluster = std::uint64_t(le16(s, 11)) * s[13];
    const std::uint64_t offset = image.offset + le64(s, 48) * cluster + n * mft_record_bytes(image);
    const QByteArray head = read_at(image.path, offset, 48);
    const std::span<const std::uint8_t> h(reinterpret_cast<const std::uint8_t*>(head.constData()),
                                          std::size_t(head.size()));
    require(head.size() == 48 && head.startsWith("FILE") && le32(h, 44) == n,
            QString("MFT record %1 is not where the boot sector says").arg(n));
    return offset;
}

}  // namespace test_images
