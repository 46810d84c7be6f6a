#pragma once
// The one small interface to the medium. Every reader (partition search, repair, and later
// the FAT module, the NTFS layer and the carver) reads through a block_device, so that the
// same code runs on a block device, an image file, or bytes in memory.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "disk/drive_item.h"

class block_device {
public:
    virtual ~block_device() = default;

    // Length of the medium in bytes.
    virtual std::uint64_t size() const = 0;

    // Reads up to n bytes at off. Returns the count read, which is short only at the end of
    // the medium (0 at or past the end), or -1 on a read error.
    virtual std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) = 0;

    // Writes n bytes at off. Returns the count written or -1. Only a device opened for
    // writing accepts it.
    virtual std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) = 0;

    // Makes written bytes durable. Returns false on failure.
    virtual bool flush() { return true; }

    // The first offset at or after off that may hold anything but zeros; size() when none
    // does. Image files answer this from their holes, which lets a scan skip what reads as
    // zeros; a device that does not know returns off.
    virtual std::uint64_t next_data(std::uint64_t off) { return off; }

    // Copies up to n bytes at off into the file open as fd, at its offset fd_off, inside the
    // system, without passing them through this process. Returns the count copied (0 at or
    // past the end of the medium; fewer than n when a copy failed part-way), or -1 when the
    // device cannot copy so or the copy failed: the caller then reads and writes the bytes.
    virtual std::int64_t copy_to_file(std::uint64_t /*off*/, int /*fd*/, std::uint64_t /*fd_off*/, std::size_t /*n*/)
    {
        return -1;
    }

    // Whether read_at may be called from several threads at once (positional reads of a
    // file, bytes in memory); a device that reads through a buffer of its own says no.
    virtual bool concurrent_reads() const { return false; }

    // The size of the device's logical sector; reads of whole 512-byte sectors need 512.
    virtual std::uint32_t sector_bytes() const { return 512; }

    // The geometry the device reports, if it reports one.
    virtual std::optional<disk_geometry_s> reported_geometry() const { return std::nullopt; }

    // Asks the system to read the partition table of a disk again after it was rewritten;
    // false, with the reason, when it would not. An image file has nothing to tell.
    virtual bool reread_partition_table(QString* /*error*/) { return true; }
};

enum class device_access { read, read_write };

// Opens a path: a registered in-memory device, a block device (unbuffered, O_DIRECT) or a
// regular file (buffered). Sources open read-only unless read_write is asked for. Returns
// nullptr and sets error when the path cannot be opened; unreadable ranges registered for
// the path are applied.
std::unique_ptr<block_device> open_block_device(const QString& path, device_access access, QString* error = nullptr);

// Whether path names a block device (as opposed to an image file, wherever it lies: an
// image under /dev/shm is still a file).
bool is_block_device(const QString& path);

// Opens a block device or an image file at its path, without the registry: for a registered
// device that wraps the real one.
std::unique_ptr<block_device> open_file_device(const QString& path, device_access access, QString* error = nullptr);

// Bytes in memory, shared with whoever made them, so a test can look at what was written.
class memory_device : public block_device {
public:
    explicit memory_device(std::shared_ptr<std::vector<std::uint8_t>> bytes, bool writable = true);
    std::uint64_t size() const override;
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override;
    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override;
    bool concurrent_reads() const override { return true; }

private:
    std::shared_ptr<std::vector<std::uint8_t>> bytes_;
    bool writable_;
};

// A byte range [first, last) that fails to read, as a damaged surface would.
struct byte_range_s {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// Wraps a device so that any read touching one of the ranges fails, as a whole read on a
// drive with a bad sector does; reads around them succeed.
class unreadable_device : public block_device {
public:
    unreadable_device(std::unique_ptr<block_device> inner, std::vector<byte_range_s> bad);
    std::uint64_t size() const override { return inner_->size(); }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override;
    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override;
    bool flush() override { return inner_->flush(); }
    bool concurrent_reads() const override { return inner_->concurrent_reads(); }
    std::uint32_t sector_bytes() const override { return inner_->sector_bytes(); }
    bool reread_partition_table(QString* error) override { return inner_->reread_partition_table(error); }
    std::optional<disk_geometry_s> reported_geometry() const override { return inner_->reported_geometry(); }

private:
    std::unique_ptr<block_device> inner_;
    std::vector<byte_range_s> bad_;
};

// A byte range of another device, seen as a device of its own: a partition of a disk image.
class window_device : public block_device {
public:
    window_device(std::unique_ptr<block_device> inner, std::uint64_t offset, std::uint64_t length);
    std::uint64_t size() const override { return length_; }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override;
    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override;
    bool flush() override { return inner_->flush(); }
    bool concurrent_reads() const override { return inner_->concurrent_reads(); }
    std::uint64_t next_data(std::uint64_t off) override;
    std::int64_t copy_to_file(std::uint64_t off, int fd, std::uint64_t fd_off, std::size_t n) override;

private:
    std::unique_ptr<block_device> inner_;
    std::uint64_t offset_;
    std::uint64_t length_;
};
