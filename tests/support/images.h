#pragma once
// Helpers that build disk images for tests: sparse image files, real FAT32 and NTFS file
// systems made by mkfs.fat and mkntfs, and spliced into an image at a chosen sector.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <ostream>
#include <vector>

#include "disk/partition_item.h"

// Readable partitions in test failure messages.
void PrintTo(const partition_item_s& p, std::ostream* os);

namespace test_images {

constexpr std::uint64_t cylinder_bytes = 255ull * 63 * 512;  // one cylinder of the made-up geometry

// Creates (or truncates to) a sparse file of the given size.
void make_sparse(const QString& path, std::uint64_t bytes);

// Writes bytes into a file at an offset, without truncating it.
void write_at(const QString& path, std::uint64_t offset, const QByteArray& bytes);
QByteArray read_at(const QString& path, std::uint64_t offset, std::size_t n);

// Copies the file system in `part` into `image` at sector `sector`, leaving holes where
// the source has only zeros so that images of many GiB stay small on disk.
void splice(const QString& image, std::uint64_t sector, const QString& part);

// A FAT32 file system of `sectors` sectors made by mkfs.fat, with the OEM name set to `oem`
// (8 bytes, padded with spaces); an empty oem keeps the formatter's own.
QString make_fat32(const QString& dir, const QString& name, std::uint64_t sectors, const QByteArray& oem = "MSWIN4.1");

// An exFAT file system of `sectors` sectors made by mkfs.exfat.
QString make_exfat(const QString& dir, const QString& name, std::uint64_t sectors);

// An NTFS file system of `sectors` sectors made by mkntfs. Its boot sector counts
// sectors - 1 sectors: the last one holds the backup boot sector.
QString make_ntfs(const QString& dir, const QString& name, std::uint64_t sectors);

// The path of a tool from the sbin folders or PATH; fails the test when it is missing.
QString tool(const QString& name);

// Runs a program and fails the test unless it exits with 0.
void run(const QString& program, const QStringList& args);

// MD5 of a whole file, for before-and-after comparisons.
QByteArray file_md5(const QString& path);

// A 512-byte boot sector: 55 AA at its end and an OEM name at offset 3.
QByteArray boot_sector(const QByteArray& oem);
QByteArray ntfs_boot_sector(std::uint64_t total_sectors);
// A FAT32 boot sector with the fields a formatter writes: 512-byte sectors, 8 per cluster,
// 32 reserved, two FATs of 100 sectors, "FAT32   " as the file-system name.
QByteArray fat32_boot_sector(std::uint32_t total_sectors, const QByteArray& oem = "MSWIN4.1");

}  // namespace test_images
