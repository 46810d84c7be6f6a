#include "disk/device_registry.h"

#include <QHash>
#include <QMutex>

namespace {

struct registry_s {
    QMutex lock;
    QHash<QString, device_factory> devices;
    QHash<QString, std::vector<byte_range_s>> unreadable;
};

registry_s& registry()
{
    static registry_s r;
    return r;
}

}  // namespace

void register_device(const QString& name, device_factory factory)
{
    QMutexLocker g(&registry().lock);
    registry().devices.insert(name, std::move(factory));
}

void unregister_device(const QString& name)
{
    QMutexLocker g(&registry().lock);
    registry().devices.remove(name);
}

void set_unreadable_ranges(const QString& path, std::vector<byte_range_s> ranges)
{
    QMutexLocker g(&registry().lock);
    if (ranges.empty())
        registry().unreadable.remove(path);
    else
        registry().unreadable.insert(path, std::move(ranges));
}

void register_memory_device(const QString& name, std::shared_ptr<std::vector<std::uint8_t>> bytes)
{
    register_device(name, [bytes](device_access access) {
        return std::make_unique<memory_device>(bytes, access == device_access::read_write);
    });
}

// Looked up by open_block_device before the file system.
std::unique_ptr<block_device> open_registered_device(const QString& path, device_access access, bool* found)
{
    device_factory factory;
    {
        QMutexLocker g(&registry().lock);
        auto it = registry().devices.find(path);
        *found = it != registry().devices.end();
        if (*found)
            factory = it.value();
    }
    return *found ? factory(access) : nullptr;
}

std::vector<byte_range_s> unreadable_ranges_of(const QString& path)
{
    QMutexLocker g(&registry().lock);
    return registry().unreadable.value(path);
}
