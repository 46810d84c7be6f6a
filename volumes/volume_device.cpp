#include "volumes/volume_device.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

#include "volumes/linux_volume_platform.h"

std::optional<image_volume_s> parse_image_volume(const QString& volume_path)
{
    static const QRegularExpression image_partition(QStringLiteral("^(.*)@p(\\d{1,9})$"));
    const QRegularExpressionMatch m = image_partition.match(volume_path);
    if (!m.hasMatch() || !QFileInfo(m.captured(1)).isFile())
        return std::nullopt;
    return image_volume_s{m.captured(1), m.captured(2).toInt()};
}

namespace {

template <typename match_t>
std::optional<volume_item_s> find_volume_where(match_t match)
{
    linux_volume_platform platform;
    if (!platform.begin_walk())
        return std::nullopt;
    for (const linux_volume_platform::volume_s& v : platform.volumes()) {
        if (!match(v))
            continue;
        volume_item_s item;
        item.volume_path = v.volume_path;
        item.device_name = v.volume_path;
        item.disk_number = v.disk_number;
        item.partition_number = v.partition_number;
        item.start_sector = v.start_sector;
        item.sector_count = v.sector_count;
        item.file_system = v.facts.file_system;
        return item;
    }
    return std::nullopt;
}

// The part of an image from a byte offset on, at most length bytes; nothing when the offset
// lies beyond the image's end.
std::unique_ptr<block_device> image_window(std::unique_ptr<block_device> dev, std::uint64_t start, std::uint64_t length,
                                           QString* error, const QString& name)
{
    const std::uint64_t size = dev->size();
    if (start >= size) {
        if (error)
            *error = QStringLiteral("%1 begins beyond the end of its image").arg(name);
        return nullptr;
    }
    return std::make_unique<window_device>(std::move(dev), start, std::min(length, size - start));
}

}  // namespace

std::optional<volume_item_s> find_volume(const QString& volume_path)
{
    return find_volume_where([&](const linux_volume_platform::volume_s& v) { return v.volume_path == volume_path; });
}

std::optional<volume_item_s> find_volume(std::int32_t disk_number, std::int32_t partition_number)
{
    return find_volume_where([&](const linux_volume_platform::volume_s& v) {
        return v.disk_number == disk_number && v.partition_number == partition_number;
    });
}

std::unique_ptr<block_device> open_volume(const QString& volume_path, QString* error)
{
    const std::optional<image_volume_s> image = parse_image_volume(volume_path);
    if (!image)
        return open_block_device(volume_path, device_access::read, error);

    std::unique_ptr<block_device> dev = open_block_device(image->image, device_access::read, error);
    if (!dev)
        return nullptr;
    for (const partition_extent_s& p : read_partition_table(image->image, dev->size())) {
        if (p.number != image->partition)
            continue;
        if (p.start_sector > UINT64_MAX / 512 || p.sector_count > UINT64_MAX / 512)
            break;
        return image_window(std::move(dev), p.start_sector * 512, p.sector_count * 512, error, volume_path);
    }
    if (error)
        *error = QStringLiteral("%1 has no partition %2").arg(image->image).arg(image->partition);
    return nullptr;
}

std::unique_ptr<block_device> open_volume(const volume_item_s& volume, QString* error)
{
    const std::optional<image_volume_s> image = parse_image_volume(volume.volume_path);
    if (!image)
        return open_block_device(volume.volume_path, device_access::read, error);
    if (volume.sector_count == 0 || volume.start_sector > UINT64_MAX / 512 || volume.sector_count > UINT64_MAX / 512)
        return open_volume(volume.volume_path, error);
    std::unique_ptr<block_device> dev = open_block_device(image->image, device_access::read, error);
    if (!dev)
        return nullptr;
    return image_window(std::move(dev), volume.start_sector * 512, volume.sector_count * 512, error,
                        volume.volume_path);
}

bool folder_on_volume_device(const QString& folder, const volume_item_s& volume)
{
    QString place = QFileInfo(folder).absoluteFilePath();
    struct stat where {};
    while (::stat(QFile::encodeName(place).constData(), &where) != 0) {
        const QString up = QFileInfo(place).absolutePath();
        if (up == place)
            return false;
        place = up;
    }
    struct stat device {};
    if (::stat(QFile::encodeName(volume.volume_path).constData(), &device) == 0 && S_ISBLK(device.st_mode) &&
        where.st_dev == device.st_rdev)
        return true;
    // A mounted volume (an image's too) is known by the file system of its mount folder.
    struct stat mount {};
    return !volume.root_path.isEmpty() && volume.root_path != volume.device_name &&
           ::stat(QFile::encodeName(volume.root_path).constData(), &mount) == 0 && S_ISDIR(mount.st_mode) &&
           where.st_dev == mount.st_dev;
}
