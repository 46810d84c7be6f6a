#include "tests/support/images.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include "disk/le.h"

void PrintTo(const partition_item_s& p, std::ostream* os)
{
    *os << p.file_system.toStdString() << " type " << p.type << " sectors " << p.start_sector << "-" << p.end_sector;
}

namespace test_images {

namespace {
void require(bool ok, const QString& what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}
}  // namespace

void make_sparse(const QString& path, std::uint64_t bytes)
{
    QFile f(path);
    require(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot create " + path);
    require(f.resize(static_cast<qint64>(bytes)), "cannot size " + path);
}

void write_at(const QString& path, std::uint64_t offset, const QByteArray& bytes)
{
    QFile f(path);
    require(f.open(QIODevice::ReadWrite), "cannot open " + path);
    require(f.seek(static_cast<qint64>(offset)) && f.write(bytes) == bytes.size(), "cannot write " + path);
}

QByteArray read_at(const QString& path, std::uint64_t offset, std::size_t n)
{
    QFile f(path);
    require(f.open(QIODevice::ReadOnly) && f.seek(static_cast<qint64>(offset)), "cannot read " + path);
    return f.read(static_cast<qint64>(n));
}

void splice(const QString& image, std::uint64_t sector, const QString& part)
{
    QFile in(part), out(image);
    require(in.open(QIODevice::ReadOnly), "cannot open " + part);
    require(out.open(QIODevice::ReadWrite), "cannot open " + image);
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 pos = 0;; pos += 1 << 20) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty())
            break;
        if (block == zeros.left(block.size()))
            continue;
        require(out.seek(static_cast<qint64>(sector * 512) + pos) && out.write(block) == block.size(),
                "cannot write " + image);
    }
}

QString tool(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name);
    require(!path.isEmpty(), name + " is not installed (tools/setup.sh installs it)");
    return path;
}

void run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(tool(program), args);
    require(p.waitForFinished(120000), program + " did not finish");
    require(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
            program + " failed: " + QString::fromLocal8Bit(p.readAllStandardError()));
}

QString make_fat32(const QString& dir, const QString& name, std::uint64_t sectors, const QByteArray& oem)
{
    const QString path = dir + "/" + name;
    QFile::remove(path);
    make_sparse(path, sectors * 512);
    run("mkfs.fat", {"-F", "32", "-S", "512", "-s", "1", "-n", "LOST", path});
    if (!oem.isEmpty()) {
        QByteArray padded = oem.leftJustified(8, ' ', true);
        write_at(path, 3, padded);
        write_at(path, 6 * 512 + 3, padded);  // the backup boot sector
    }
    return path;
}

QString make_exfat(const QString& dir, const QString& name, std::uint64_t sectors)
{
    const QString path = dir + "/" + name;
    QFile::remove(path);
    make_sparse(path, sectors * 512);
    run("mkfs.exfat", {"-L", "LOST", path});
    return path;
}

QString make_ntfs(const QString& dir, const QString& name, std::uint64_t sectors)
{
    const QString path = dir + "/" + name;
    QFile::remove(path);
    make_sparse(path, sectors * 512);
    run("mkntfs", {"-F", "-Q", "-q", "-s", "512", "-p", "0", "-H", "255", "-S", "63", "-L", "LOST", path});
    return path;
}

QByteArray file_md5(const QString& path)
{
    QFile f(path);
    require(f.open(QIODevice::ReadOnly), "cannot open " + path);
    QCryptographicHash h(QCryptographicHash::Md5);
    require(h.addData(&f), "cannot read " + path);
    return h.result().toHex();
}

QByteArray boot_sector(const QByteArray& oem)
{
    QByteArray s(512, '\0');
    s[0] = char(0xEB);
    s[1] = char(0x52);
    s[2] = char(0x90);
    s.replace(3, 8, oem.leftJustified(8, ' ', true));
    s[510] = char(0x55);
    s[511] = char(0xAA);
    return s;
}

QByteArray ntfs_boot_sector(std::uint64_t total_sectors)
{
    QByteArray s = boot_sector("NTFS    ");
    put_le64(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(s.data()), 512), 40, total_sectors);
    return s;
}

QByteArray fat32_boot_sector(std::uint32_t total_sectors, const QByteArray& oem)
{
    QByteArray s = boot_sector(oem);
    const std::span<std::uint8_t> b(reinterpret_cast<std::uint8_t*>(s.data()), 512);
    b[11] = 0x00;  // 512 bytes per sector
    b[12] = 0x02;
    b[13] = 8;   // sectors per cluster
    b[14] = 32;  // reserved sectors
    b[16] = 2;   // FATs
    put_le32(b, 32, total_sectors);
    put_le32(b, 36, 100);  // sectors per FAT
    s.replace(82, 8, "FAT32   ");
    return s;
}

}  // namespace test_images
