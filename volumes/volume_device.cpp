#include "volumes/volume_device.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "volumes/linux_volume_platform.h"

std::unique_ptr<block_device> open_volume(const QString& volume_path, QString* error)
{
    static const QRegularExpression image_partition(QStringLiteral("^(.*)@p(\\d+)$"));
    const QRegularExpressionMatch m = image_partition.match(volume_path);
    if (!m.hasMatch() || !QFileInfo(m.captured(1)).isFile())
        return open_block_device(volume_path, device_access::read, error);

    const QString image = m.captured(1);
    const int number = m.captured(2).toInt();
    std::unique_ptr<block_device> dev = open_block_device(image, device_access::read, error);
    if (!dev)
        return nullptr;
    for (const partition_extent_s& p : read_partition_table(image, dev->size())) {
        if (p.number != number)
            continue;
        const std::uint64_t start = p.start_sector * 512;
        if (start >= dev->size())
            break;
        const std::uint64_t length = std::min(p.sector_count * 512, dev->size() - start);
        return std::make_unique<window_device>(std::move(dev), start, length);
    }
    if (error)
        *error = QStringLiteral("%1 has no partition %2").arg(image).arg(number);
    return nullptr;
}
