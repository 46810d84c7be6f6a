#pragma once
// Whole-drive raw access for the partition search and the repair: open, read, seek, write
// and close over a device path, with a position that reads and writes advance.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "disk/block_device.h"
#include "disk/drive_item.h"

class raw_disk {
public:
    raw_disk() = default;
    ~raw_disk() { close(); }
    raw_disk(const raw_disk&) = delete;
    raw_disk& operator=(const raw_disk&) = delete;

    // The drive's geometry: the one the device reports, else 255 heads, 63 sectors per
    // track, 512 bytes per sector and the whole cylinders that fit. Fails when the path
    // does not exist or is a block device that reports no medium.
    static std::optional<disk_geometry_s> query_geometry(const QString& path, QString* error = nullptr);
    // The whole device's size in bytes, last partial cylinder included.
    static std::optional<std::uint64_t> query_size(const QString& path);

    // Opens an existing device; read-only unless read_write is asked for. The position
    // starts at 0.
    bool open(const QString& path, device_access access, QString* error = nullptr);
    bool is_open() const { return dev_ != nullptr; }

    // Reads from the position and advances it. Returns the count read (short only at the
    // end of the device) or -1.
    std::int64_t read(void* buf, std::size_t n);

    // Writes at the position and advances it. Returns the count written or -1.
    std::int64_t write(const void* buf, std::size_t n);

    // Sets the position to an absolute byte offset.
    bool seek(std::uint64_t offset);

    // Makes written bytes durable.
    bool flush();

    // Asks the system to read a disk's partition table again (see block_device).
    bool reread_partition_table(QString* error);

    // Length of the opened device in bytes, and the first offset at or after off that may
    // hold anything but zeros (see block_device::next_data).
    std::uint64_t device_size() const;
    std::uint64_t next_data(std::uint64_t off);

    void close();

private:
    std::unique_ptr<block_device> dev_;
    std::uint64_t pos_ = 0;
};

// The geometry made up for a device that reports none.
disk_geometry_s made_up_geometry(std::uint64_t bytes, std::uint32_t sector_bytes = 512);
