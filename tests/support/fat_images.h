#pragma once
// FAT images for tests: made by mkfs.fat, filled and emptied with mtools (no mounting),
// optionally behind a master boot record, and patched byte by byte where a test needs a
// directory entry that no tool writes.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace test_images {

struct fat_image_s {
    QString path;                  // the image file
    QString volume_path;           // path@p0 for a whole image, path@p1 behind an MBR
    std::uint64_t offset = 0;      // byte offset of the file system in the image
    QString mtools_image() const;  // the -i argument for mtools
};

// A FAT file system of fat_bits 12, 16 or 32 and `kib` KiB; partitioned: behind an MBR at
// sector 2048, else the whole image. Extra mkfs.fat arguments may be given.
fat_image_s make_fat_image(const QString& dir, const QString& name, int fat_bits, bool partitioned, int kib,
                           const QStringList& mkfs_args = {});

// Runs an mtools command (mcopy, mmd, mdel, mdeltree, ...) on the image.
void mtools(const QString& command, const fat_image_s& image, const QStringList& args);

// Writes a file of `size` bytes whose content follows from seed, with a modification time.
QString make_file(const QString& dir, const QString& name, std::size_t size, int seed,
                  const QString& modified = "2011-06-15 13:45:10");

// Finds the 32-byte directory entry whose name bytes 1..10 are name11.mid(1) (the first
// byte may be the deletion mark), calls patch on it and writes it back. Returns the entry's
// byte offset in the image, or 0 when none was found.
std::uint64_t patch_entry(const fat_image_s& image, const QByteArray& name11,
                          const std::function<void(QByteArray&)>& patch);

struct made_file_s {
    QString name;
    std::size_t size;
    int seed;
};

// Makes the files (as make_file does), puts them into the image's root and then deletes
// them there, so that none reuses the clusters of another; their sources, in order.
QStringList deleted_files(const fat_image_s& img, const QString& src, const std::vector<made_file_s>& files);

// Two files put into the image's root and deleted, then a live file written into the folder
// LIVE that takes the first one's clusters: the first deleted file is overwritten, the
// second one's clusters stay free. The sources, of the deleted files and of the live one.
struct reused_clusters_s {
    QString overwritten;  // OLD.TXT, of old_size bytes
    QString intact;       // FREE.TXT
    QString live;         // LIVE/NEW.TXT, as long as OLD.TXT, now on its clusters
};
reused_clusters_s reuse_clusters(const fat_image_s& img, const QString& src, std::size_t old_size = 3000);

// The FAT entry of a cluster as the first FAT holds it, and a value set in every FAT copy
// (FAT16 and FAT32).
std::uint32_t fat_entry(const fat_image_s& image, std::uint32_t cluster);
void set_fat_entry(const fat_image_s& image, std::uint32_t cluster, std::uint32_t value);
// Bytes per cluster of the image's file system.
std::uint32_t fat_cluster_bytes(const fat_image_s& image);
// The first cluster of the directory entry that patch_entry finds by name11.
std::uint32_t first_cluster(const fat_image_s& image, const QByteArray& name11);

// A file put into the image's root and deleted, then a live file written into the folder
// LIVE that takes the deleted file's clusters from its `at`th on (FAT32 only: mtools
// allocates after the next-free hint of the FSInfo sector, which is set for that). Other
// files may be put into the root and deleted with it, on clusters before its own.
struct crossed_run_s {
    QString deleted;      // DEL.BIN, of deleted_size bytes
    QString live;         // LIVE/NEW.BIN, of live_size bytes
    std::uint32_t first;  // DEL.BIN's first cluster
    QStringList others;   // the sources of the other files
};
crossed_run_s cross_run(const fat_image_s& img, const QString& src, std::size_t deleted_size, std::uint32_t at,
                        std::size_t live_size, std::vector<made_file_s> others = {});

// Makes the image's sector that holds bytes [offset, offset + 512) of a file's content (a
// file put into the image, found there by those bytes) unreadable, until the result goes.
struct unreadable_sector_s {
    QString image;
    ~unreadable_sector_s();
};
std::unique_ptr<unreadable_sector_s> make_unreadable(const QString& image, const QString& file, std::uint64_t offset);

}  // namespace test_images
