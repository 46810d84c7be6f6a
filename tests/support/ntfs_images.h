#pragma once
// NTFS images for tests: made by mkntfs, filled and emptied through an ntfs-3g mount (so
// that the records, runlists and deleted entries are the real driver's), optionally spliced
// into a partition behind a master boot record. Every step that fails throws with a reason,
// so a test that cannot build its image fails.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace test_images {

struct ntfs_image_s {
    QString path;              // the image file
    QString volume_path;       // path@p0 for a whole image, path@pN behind an MBR
    std::uint64_t offset = 0;  // byte offset of the file system in the image
};

struct ntfs_layout_s {
    int mib = 32;              // size of the file system
    int partition = 0;         // 0: the whole image; 1 to 4: that partition of an MBR
    bool compression = false;  // mount with ntfs-3g's compression option
};

// Makes the file system, mounts it, calls populate with the mount folder, and unmounts,
// waiting until ntfs-3g has written everything and exited. Behind an MBR the partitions
// before `partition` are 1 MiB each and hold no file system; the NTFS partition follows.
ntfs_image_s make_ntfs_image(const QString& dir, const QString& name, const ntfs_layout_s& layout,
                             const std::function<void(const QString& mount)>& populate);

// Bytes of the given size that follow from seed: random, or text that compresses well.
QByteArray random_bytes(std::size_t size, int seed);
QByteArray text_bytes(std::size_t size, int seed);

// Writes a file (creating or replacing it) and returns its MFT record number, which is the
// inode number that ntfs-3g reports.
std::uint64_t write_file(const QString& path, const QByteArray& bytes);

// Writes a file with holes: each piece at its offset, nothing between them, and the file
// `size` bytes long. Returns its record number and the whole content as it reads back.
std::uint64_t write_sparse(const QString& path, std::uint64_t size,
                           const std::vector<std::pair<std::uint64_t, QByteArray>>& pieces, QByteArray* content);

// The MFT record number of a file or folder on the mount.
std::uint64_t record_of(const QString& path);

// Makes a folder on the mount and returns its record number.
std::uint64_t make_folder(const QString& path);

// Writes two files by turns, a block of each at a time, so that ntfs-3g allocates their
// clusters interleaved and the first one ends up in many fragments (ntfs-3g does so on
// small volumes, such as 32 MiB; a test checks the runs). Returns the first one's record
// number.
std::uint64_t write_interleaved(const QString& path, const QByteArray& bytes, const QString& other_path,
                                std::size_t block, std::size_t other_block);

// Sets the $STANDARD_INFORMATION creation and modification times (seconds since 1970)
// through ntfs-3g's system.ntfs_times attribute.
void set_ntfs_times(const QString& path, std::int64_t created, std::int64_t modified);

// Gives a file a DOS 8.3 name besides its long one; the long name becomes a Win32 name.
void set_dos_name(const QString& path, const QByteArray& dos_name);

// Adds a named data stream (an alternate data stream) to a file, through ntfs-3g's user.*
// extended attributes.
void add_named_stream(const QString& path, const QString& name, const QByteArray& bytes);

// Sets the compressed attribute on a folder, so that files made in it are compressed
// (the mount needs compression on).
void set_compressed(const QString& folder);

// The byte offset in the image of MFT record n, read from the boot sector; the record must
// lie in the $MFT's first extent, and it is checked to be a FILE record numbered n.
std::uint64_t mft_record_offset(const ntfs_image_s& image, std::uint64_t n);
std::uint32_t mft_record_bytes(const ntfs_image_s& image);

}  // namespace test_images
