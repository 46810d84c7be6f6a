#pragma once
// Process-wide table of devices that do not live at a file-system path (in-memory devices
// for tests and fuzzing) and of unreadable ranges to simulate on a path. open_block_device
// consults it before the file system.
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "disk/block_device.h"

using device_factory = std::function<std::unique_ptr<block_device>(device_access)>;

// Registers a factory under a name such as "mem:disk1"; opening that name calls it.
void register_device(const QString& name, device_factory factory);
void unregister_device(const QString& name);

// Every device opened at path fails to read the given byte ranges (empty: none).
void set_unreadable_ranges(const QString& path, std::vector<byte_range_s> ranges);

// Registers bytes in memory as a device under name.
void register_memory_device(const QString& name, std::shared_ptr<std::vector<std::uint8_t>> bytes);
