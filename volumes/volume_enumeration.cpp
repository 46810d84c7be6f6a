#include "volumes/volume_enumeration.h"

#include <algorithm>

#include "volumes/linux_volume_platform.h"

QList<volume_info_s> volume_info_list;
QList<volume_item_s> volume_item_list;

namespace {
constexpr std::uint32_t drive_removable = 2, drive_fixed = 3, drive_remote = 4, drive_cdrom = 5;
}

int read_volume_paths(volume_platform& platform, volume_info_s& info)
{
    const std::optional<QStringList> paths = platform.mount_paths(info.volume_path);
    if (!paths)
        return 0;
    for (const QString& p : *paths)
        if (!p.isEmpty())
            info.mount_paths << p;
    if (!info.mount_paths.isEmpty())
        info.root_path = info.mount_paths.first();
    return 0;
}

int read_volume_info(volume_platform& platform, volume_info_s& info)
{
    // A volume is described through its first mount path, or through its device when it
    // is not mounted (the Linux platform can describe an unmounted volume; a platform that
    // cannot answers for the device name with type 0 and failures).
    const QString root = info.root_path;
    if (root.isEmpty())
        return 0;
    info.drive_type = platform.drive_type(root);
    const std::optional<volume_facts_s> facts = platform.volume_information(root);
    if (!facts)
        return -1;
    info.file_system = facts->file_system;
    info.label = facts->label;
    info.file_system_flags = facts->file_system_flags;
    const auto space = platform.space(root);
    if (!space)
        return -1;
    info.total_bytes = space->first;
    info.free_bytes = space->second;
    return 0;
}

int read_volume_disk_numbers(volume_platform& platform, const QString& volume_path, std::int32_t& partition_number,
                             std::int32_t& disk_number)
{
    QString path = volume_path;
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    const std::optional<std::int32_t> partition = platform.partition_number(path);
    if (!partition)
        return -1;
    partition_number = *partition;
    const std::optional<std::int32_t> disk = platform.disk_number(path);
    if (!disk)
        return -1;
    disk_number = *disk;
    return 0;
}

void build_volume_items()
{
    volume_item_list.clear();
    volume_item_list.append(volume_item_s{});
    for (const volume_info_s& v : volume_info_list) {
        if (v.partition_number == -1 || v.disk_number == -1)
            continue;
        volume_item_s item;
        item.device_name = v.device_name;
        item.volume_path = v.volume_path;
        item.label = v.label;
        item.file_system = v.file_system;
        item.root_path = v.root_path;
        item.total_bytes = v.total_bytes;
        item.free_bytes = v.free_bytes;
        item.partition_number = v.partition_number;
        item.disk_number = v.disk_number;
        item.start_sector = v.start_sector;
        item.sector_count = v.sector_count;
        volume_item_list.append(item);
    }
}

int enumerate_volumes(volume_platform& platform)
{
    volume_info_list.clear();
    volume_item_list.clear();
    if (!platform.begin_walk())
        return -1;
    while (const std::optional<QString> path = platform.next_volume()) {
        const std::optional<QString> device = platform.device_name(*path);
        if (!device)
            continue;
        volume_info_s info;
        info.device_name = *device;
        info.volume_path = *path;
        read_volume_paths(platform, info);
        if (info.root_path.isEmpty())
            info.root_path = info.device_name;
        read_volume_info(platform, info);
        if (info.drive_type == drive_fixed || info.drive_type == drive_removable)
            read_volume_disk_numbers(platform, info.volume_path, info.partition_number, info.disk_number);
        if (const auto extent = platform.extent(info.volume_path)) {
            info.start_sector = extent->first;
            info.sector_count = extent->second;
        }
        if (info.drive_type == drive_cdrom || info.drive_type == drive_remote)
            continue;
        const bool admin = platform.is_admin();  // asked once for every volume that got this far
        if (info.drive_type == drive_fixed && !admin)
            continue;
        volume_info_list.append(info);
    }
    // By first mount path, code unit by code unit; a volume without one sorts first.
    std::sort(volume_info_list.begin(), volume_info_list.end(), [](const volume_info_s& a, const volume_info_s& b) {
        const QString ka = a.mount_paths.isEmpty() ? QString() : a.mount_paths.first();
        const QString kb = b.mount_paths.isEmpty() ? QString() : b.mount_paths.first();
        return QString::compare(ka, kb, Qt::CaseSensitive) < 0;
    });
    platform.end_walk();
    build_volume_items();
    return 0;
}

int enumerate_volumes()
{
    linux_volume_platform platform;
    return enumerate_volumes(platform);
}

void register_volume_meta_types()
{
    qRegisterMetaType<volume_item_s>("volume_item_s");
}
