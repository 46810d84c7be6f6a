#include "volumes/volume_platform.h"

namespace {
template <typename map_t>
auto lookup(const map_t& m, const QString& key) -> std::optional<typename map_t::mapped_type>
{
    const auto it = m.find(key);
    if (it == m.end())
        return std::nullopt;
    return it->second;
}
}  // namespace

bool table_volume_platform::begin_walk()
{
    next_ = 0;
    return !refuse_walk;
}

std::optional<QString> table_volume_platform::next_volume()
{
    if (next_ >= volumes.size())
        return std::nullopt;
    return volumes[next_++];
}

std::optional<QString> table_volume_platform::device_name(const QString& volume_path)
{
    return lookup(device_names, volume_path);
}

std::optional<QStringList> table_volume_platform::mount_paths(const QString& volume_path)
{
    return lookup(mounts, volume_path);
}

std::uint32_t table_volume_platform::drive_type(const QString& root)
{
    return lookup(drive_types, root).value_or(0);
}

std::optional<volume_facts_s> table_volume_platform::volume_information(const QString& root)
{
    return lookup(information, root);
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> table_volume_platform::space(const QString& root)
{
    return lookup(spaces, root);
}

std::optional<std::int32_t> table_volume_platform::partition_number(const QString& volume_path)
{
    return lookup(partition_numbers, volume_path);
}

std::optional<std::int32_t> table_volume_platform::disk_number(const QString& volume_path)
{
    return lookup(disk_numbers, volume_path);
}

bool table_volume_platform::is_admin()
{
    ++admin_questions;
    return admin;
}
