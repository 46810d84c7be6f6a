#include "disk/block_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

memory_device::memory_device(std::shared_ptr<std::vector<std::uint8_t>> bytes, bool writable)
    : bytes_(std::move(bytes)), writable_(writable)
{
}

std::uint64_t memory_device::size() const
{
    return bytes_->size();
}

std::int64_t memory_device::read_at(std::uint64_t off, void* buf, std::size_t n)
{
    if (off >= bytes_->size())
        return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_->size() - off));
    std::memcpy(buf, bytes_->data() + off, count);
    return static_cast<std::int64_t>(count);
}

std::int64_t memory_device::write_at(std::uint64_t off, const void* buf, std::size_t n)
{
    if (!writable_ || off > bytes_->size()) {
        errno = EBADF;
        return -1;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_->size() - off));
    std::memcpy(bytes_->data() + off, buf, count);
    return static_cast<std::int64_t>(count);
}

unreadable_device::unreadable_device(std::unique_ptr<block_device> inner, std::vector<byte_range_s> bad)
    : inner_(std::move(inner)), bad_(std::move(bad))
{
}

std::int64_t unreadable_device::read_at(std::uint64_t off, void* buf, std::size_t n)
{
    for (const byte_range_s& r : bad_) {
        if (off < r.last && off + n > r.first) {
            errno = EIO;
            return -1;
        }
    }
    return inner_->read_at(off, buf, n);
}

std::int64_t unreadable_device::write_at(std::uint64_t off, const void* buf, std::size_t n)
{
    return inner_->write_at(off, buf, n);
}

window_device::window_device(std::unique_ptr<block_device> inner, std::uint64_t offset, std::uint64_t length)
    : inner_(std::move(inner)), offset_(offset), length_(length)
{
}

std::int64_t window_device::read_at(std::uint64_t off, void* buf, std::size_t n)
{
    if (off >= length_)
        return 0;
    return inner_->read_at(offset_ + off, buf, static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - off)));
}

std::int64_t window_device::write_at(std::uint64_t off, const void* buf, std::size_t n)
{
    if (off > length_ || n > length_ - off) {
        errno = ENOSPC;
        return -1;
    }
    return inner_->write_at(offset_ + off, buf, n);
}

std::int64_t window_device::copy_to_file(std::uint64_t off, int fd, std::uint64_t fd_off, std::size_t n)
{
    if (off >= length_)
        return 0;
    return inner_->copy_to_file(offset_ + off, fd, fd_off,
                                static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - off)));
}

std::uint64_t window_device::next_data(std::uint64_t off)
{
    if (off >= length_)
        return length_;
    const std::uint64_t d = inner_->next_data(offset_ + off);
    return d >= offset_ + length_ ? length_ : d - offset_;
}
