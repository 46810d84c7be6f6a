#include "fuzz/fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "disk/block_device.h"
#include "disk/device_registry.h"
#include "recovery/recovery_session.h"
#include "recovery/diagnostics.h"
#include "recovery/fat/fat_drive_table.h"

namespace fuzz {
namespace {

class zero_extended_device : public block_device {
public:
    zero_extended_device(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::uint64_t size)
        : bytes_(std::move(bytes)), size_(std::max<std::uint64_t>(size, bytes_->size()))
    {
    }
    std::uint64_t size() const override { return size_; }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        if (off >= size_)
            return 0;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - off));
        auto* out = static_cast<std::uint8_t*>(buf);
        std::size_t from_input = 0;
        if (off < bytes_->size()) {
            from_input = std::min<std::size_t>(count, bytes_->size() - off);
            std::memcpy(out, bytes_->data() + off, from_input);
        }
        std::memset(out + from_input, 0, count - from_input);
        return static_cast<std::int64_t>(count);
    }
    std::int64_t write_at(std::uint64_t, const void*, std::size_t) override { return -1; }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    std::uint64_t size_;
};

}  // namespace

std::unique_ptr<block_device> input_device(const std::uint8_t* data, std::size_t n, std::uint64_t size)
{
    return input_device(std::make_shared<const std::vector<std::uint8_t>>(data, data + n), size);
}

std::unique_ptr<block_device> input_device(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::uint64_t size)
{
    return std::make_unique<zero_extended_device>(std::move(bytes), size);
}

const QString& scratch_dir()
{
    static QTemporaryDir* dir = [] {
        auto* d = new QTemporaryDir(QDir::tempPath() + "/vantrel-fuzz-XXXXXX");
        if (!d->isValid()) {
            std::fprintf(stderr, "fuzz: cannot make a scratch folder\n");
            std::abort();
        }
        // Removed at exit even though the fuzzer ends the process with exit().
        std::atexit([] { delete dir; });
        return d;
    }();
    static const QString path = dir->path();
    return path;
}

QString write_scratch(const QString& name, const std::uint8_t* data, std::size_t n, std::uint64_t size)
{
    const QString path = scratch_dir() + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(n)) != static_cast<qint64>(n) ||
        (size > n && !f.resize(static_cast<qint64>(size)))) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

input_volume::input_volume(const QString& name, const std::uint8_t* data, std::size_t n, std::uint64_t size,
                           const QString& file_system)
{
    const QString image = QFileInfo(write_scratch(name, nullptr, 0)).absoluteFilePath();
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + n);
    size = std::max<std::uint64_t>(size, n);
    register_device(image, [bytes, size](device_access) { return input_device(bytes, size); });
    item_.device_name = image;
    item_.volume_path = image + QStringLiteral("@p0");
    item_.file_system = file_system;
    item_.disk_number = 0;
    item_.partition_number = 0;
    item_.start_sector = 0;
    item_.sector_count = (size + 511) / 512;
}

input_volume::~input_volume()
{
    unregister_device(item_.device_name);
}

recovery_session_c& session()
{
    // Never destroyed: the fuzzer ends the process with exit().
    static recovery_session_c* s = new recovery_session_c(nullptr, scratch_dir() + "/none.conf");
    return *s;
}

void quiet()
{
    static const bool done = [] {
        set_diagnostic_sink({});
        return true;
    }();
    (void)done;
}

void check_failed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

}  // namespace fuzz
