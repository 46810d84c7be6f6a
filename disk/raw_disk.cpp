#include "disk/raw_disk.h"

#include <QFile>
#include <QFileInfo>

disk_geometry_s made_up_geometry(std::uint64_t bytes, std::uint32_t sector_bytes)
{
    disk_geometry_s g;
    g.tracks_per_cylinder = 255;
    g.sectors_per_track = 63;
    g.bytes_per_sector = sector_bytes;
    g.cylinders = static_cast<std::int64_t>(bytes / (255ull * 63 * sector_bytes));
    return g;
}

namespace {

// A block device that cannot be opened (no permission) still tells its size through sysfs,
// as a query-only open does elsewhere; a size of 0 means no medium.
std::optional<std::uint64_t> sysfs_size(const QString& path)
{
    if (!is_block_device(path))
        return std::nullopt;
    QFile f(QStringLiteral("/sys/class/block/%1/size").arg(QFileInfo(path).fileName()));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const std::uint64_t sectors = f.readAll().trimmed().toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return sectors * 512;
}

}  // namespace

std::optional<disk_geometry_s> raw_disk::query_geometry(const QString& path, QString* error)
{
    std::unique_ptr<block_device> dev = open_block_device(path, device_access::read, error);
    if (!dev) {
        std::optional<std::uint64_t> bytes = sysfs_size(path);
        if (!bytes || *bytes == 0)
            return std::nullopt;
        return made_up_geometry(*bytes);
    }
    if (std::optional<disk_geometry_s> g = dev->reported_geometry())
        return g;
    if (dev->size() == 0 && is_block_device(path)) {
        if (error)
            *error = QStringLiteral("%1 holds no medium").arg(path);
        return std::nullopt;
    }
    return made_up_geometry(dev->size(), dev->sector_bytes());
}

std::optional<std::uint64_t> raw_disk::query_size(const QString& path)
{
    if (std::unique_ptr<block_device> dev = open_block_device(path, device_access::read))
        return dev->size();
    return sysfs_size(path);
}

bool raw_disk::open(const QString& path, device_access access, QString* error)
{
    close();
    dev_ = open_block_device(path, access, error);
    pos_ = 0;
    return dev_ != nullptr;
}

std::int64_t raw_disk::read(void* buf, std::size_t n)
{
    if (!dev_)
        return -1;
    const std::int64_t r = dev_->read_at(pos_, buf, n);
    if (r > 0)
        pos_ += static_cast<std::uint64_t>(r);
    return r;
}

std::int64_t raw_disk::write(const void* buf, std::size_t n)
{
    if (!dev_)
        return -1;
    const std::int64_t r = dev_->write_at(pos_, buf, n);
    if (r > 0)
        pos_ += static_cast<std::uint64_t>(r);
    return r;
}

bool raw_disk::seek(std::uint64_t offset)
{
    if (!dev_ || offset > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    pos_ = offset;
    return true;
}

bool raw_disk::flush()
{
    return dev_ && dev_->flush();
}

bool raw_disk::reread_partition_table(QString* error)
{
    return dev_ && dev_->reread_partition_table(error);
}

std::uint64_t raw_disk::device_size() const
{
    return dev_ ? dev_->size() : 0;
}

std::uint64_t raw_disk::next_data(std::uint64_t off)
{
    return dev_ ? dev_->next_data(off) : off;
}

void raw_disk::close()
{
    dev_.reset();
    pos_ = 0;
}
