// Block devices and image files on Linux. Block devices are read unbuffered (O_DIRECT)
// through aligned buffers; image files are read through the page cache, and their holes
// are reported so that a scan can skip what reads as zeros.
#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "disk/block_device.h"

std::unique_ptr<block_device> open_registered_device(const QString& path, device_access access, bool* found);
std::vector<byte_range_s> unreadable_ranges_of(const QString& path);

namespace {

// pread or pwrite until n bytes, the end of the file, or an error. EINTR is retried.
template <typename buffer_t, typename transfer_t>
std::int64_t transfer_full(int fd, buffer_t buf, std::size_t n, std::uint64_t off, transfer_t transfer)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = transfer(fd, buf + done, n - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t pread_full(int fd, void* buf, std::size_t n, std::uint64_t off)
{
    return transfer_full(fd, static_cast<char*>(buf), n, off, ::pread);
}

std::int64_t pwrite_full(int fd, const void* buf, std::size_t n, std::uint64_t off)
{
    return transfer_full(fd, static_cast<const char*>(buf), n, off, ::pwrite);
}

class fd_device : public block_device {
public:
    fd_device(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~fd_device() override { ::close(fd_); }
    std::uint64_t size() const override { return size_; }
    bool flush() override { return ::fsync(fd_) == 0; }

protected:
    int fd_;
    std::uint64_t size_;
};

class image_file_device : public fd_device {
public:
    using fd_device::fd_device;

    bool concurrent_reads() const override { return true; }  // pread keeps no position

    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        if (off >= size_)
            return 0;
        return pread_full(fd_, buf, static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - off)), off);
    }

    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override
    {
        return pwrite_full(fd_, buf, n, off);
    }

    // copy_file_range moves the bytes from the image's page cache to the target's in the
    // kernel: one copy instead of a read and a write.
    std::int64_t copy_to_file(std::uint64_t off, int fd, std::uint64_t fd_off, std::size_t n) override
    {
        if (off >= size_)
            return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - off));
        std::size_t done = 0;
        while (done < n) {
            auto in = static_cast<off_t>(off + done);
            auto out = static_cast<off_t>(fd_off + done);
            const ssize_t r = ::copy_file_range(fd_, &in, fd, &out, n - done, 0);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return done > 0 ? static_cast<std::int64_t>(done) : -1;
            }
            if (r == 0)
                break;
            done += static_cast<std::size_t>(r);
        }
        return static_cast<std::int64_t>(done);
    }

    std::uint64_t next_data(std::uint64_t off) override
    {
        if (off >= size_)
            return size_;
        const off_t d = ::lseek(fd_, static_cast<off_t>(off), SEEK_DATA);
        if (d < 0)
            return errno == ENXIO ? size_ : off;  // ENXIO: only a hole remains
        return std::min<std::uint64_t>(static_cast<std::uint64_t>(d), size_);
    }
};

// A block device opened with O_DIRECT. Transfers must start and end on the device's
// logical block and use aligned memory; unaligned requests go through a bounce buffer.
class direct_device : public fd_device {
public:
    direct_device(int fd, std::uint64_t size, std::uint32_t block, std::optional<disk_geometry_s> geo)
        : fd_device(fd, size), block_(std::max<std::uint32_t>(block, 512)), geometry_(geo)
    {
    }

    std::optional<disk_geometry_s> reported_geometry() const override { return geometry_; }
    std::uint32_t sector_bytes() const override { return block_; }

    bool reread_partition_table(QString* error) override
    {
        if (::ioctl(fd_, BLKRRPART) == 0)
            return true;
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }

    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        if (off >= size_)
            return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - off));
        if (aligned(off, buf, n))
            return pread_full(fd_, buf, n, off);
        std::size_t done = 0;
        while (done < n) {
            const std::uint64_t pos = off + done;
            const std::uint64_t start = pos / block_ * block_;
            const std::size_t lead = static_cast<std::size_t>(pos - start);
            const std::size_t want = std::min(n - done, bounce_size - lead);
            const std::size_t span = round_up(lead + want);
            const std::int64_t r = pread_full(fd_, bounce(), span, start);
            if (r < 0)
                return -1;
            if (static_cast<std::size_t>(r) <= lead)
                break;
            const std::size_t got = std::min(want, static_cast<std::size_t>(r) - lead);
            std::memcpy(static_cast<char*>(buf) + done, bounce() + lead, got);
            done += got;
            if (got < want)
                break;
        }
        return static_cast<std::int64_t>(done);
    }

    // Writes whole logical blocks, reading back the bytes around an unaligned request first.
    std::int64_t write_at(std::uint64_t off, const void* buf, std::size_t n) override
    {
        if (aligned(off, buf, n))
            return pwrite_full(fd_, buf, n, off);
        const std::uint64_t start = off / block_ * block_;
        const std::size_t lead = static_cast<std::size_t>(off - start);
        const std::size_t span = round_up(lead + n);
        if (span > bounce_size) {
            errno = EINVAL;
            return -1;
        }
        if (pread_full(fd_, bounce(), span, start) != static_cast<std::int64_t>(span))
            return -1;
        std::memcpy(bounce() + lead, buf, n);
        if (pwrite_full(fd_, bounce(), span, start) != static_cast<std::int64_t>(span))
            return -1;
        return static_cast<std::int64_t>(n);
    }

private:
    static constexpr std::size_t bounce_size = 1 << 20;

    bool aligned(std::uint64_t off, const void* buf, std::size_t n) const
    {
        return off % block_ == 0 && n % block_ == 0 && reinterpret_cast<std::uintptr_t>(buf) % 4096 == 0;
    }
    std::size_t round_up(std::size_t n) const { return (n + block_ - 1) / block_ * block_; }
    char* bounce()
    {
        if (!bounce_) {
            void* p = nullptr;
            if (::posix_memalign(&p, 4096, bounce_size) != 0)
                std::abort();
            bounce_.reset(static_cast<char*>(p));
        }
        return bounce_.get();
    }

    struct free_deleter {
        void operator()(char* p) const { std::free(p); }
    };
    std::uint32_t block_;
    std::optional<disk_geometry_s> geometry_;
    std::unique_ptr<char, free_deleter> bounce_;
};

QString describe(const QString& path, int err)
{
    return QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
}

std::unique_ptr<block_device> open_path(const QString& path, device_access access, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    const int mode = (access == device_access::read_write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    int fd = ::open(native.constData(), mode);
    if (fd < 0) {
        if (error)
            *error = describe(path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("%1 is neither a disk nor an image file").arg(path);
        return nullptr;
    }
    if (S_ISREG(st.st_mode))
        return std::make_unique<image_file_device>(fd, static_cast<std::uint64_t>(st.st_size));

    std::uint64_t bytes = 0;
    int block = 512;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0 || ::ioctl(fd, BLKSSZGET, &block) != 0) {
        if (error)
            *error = describe(path, errno);
        ::close(fd);
        return nullptr;
    }
    std::optional<disk_geometry_s> geo;
    hd_geometry hd{};
    if (::ioctl(fd, HDIO_GETGEO, &hd) == 0 && hd.heads != 0 && hd.sectors != 0) {
        disk_geometry_s g;
        g.tracks_per_cylinder = hd.heads;
        g.sectors_per_track = hd.sectors;
        g.bytes_per_sector = static_cast<std::uint32_t>(block);
        // The ioctl's cylinder count is 16 bits wide; the true count follows from the size.
        g.cylinders = static_cast<std::int64_t>(bytes / (std::uint64_t{hd.heads} * hd.sectors * g.bytes_per_sector));
        geo = g;
    }
    // Reopen unbuffered, so that a search reads the surface rather than the page cache.
    const int direct = ::open(native.constData(), mode | O_DIRECT);
    if (direct >= 0) {
        ::close(fd);
        fd = direct;
    }
    return std::make_unique<direct_device>(fd, bytes, static_cast<std::uint32_t>(block), geo);
}

}  // namespace

std::unique_ptr<block_device> open_file_device(const QString& path, device_access access, QString* error)
{
    return open_path(path, access, error);
}

std::unique_ptr<block_device> open_block_device(const QString& path, device_access access, QString* error)
{
    bool registered = false;
    std::unique_ptr<block_device> dev = open_registered_device(path, access, &registered);
    if (!registered)
        dev = open_path(path, access, error);
    else if (!dev && error)
        *error = QStringLiteral("cannot open %1").arg(path);
    if (!dev)
        return nullptr;
    std::vector<byte_range_s> bad = unreadable_ranges_of(path);
    if (!bad.empty())
        dev = std::make_unique<unreadable_device>(std::move(dev), std::move(bad));
    return dev;
}

bool is_block_device(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISBLK(st.st_mode);
}
