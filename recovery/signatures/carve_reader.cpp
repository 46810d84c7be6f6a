#include <algorithm>
#include <cstring>

#include "disk/block_device.h"
#include "recovery/signatures/signature.h"

carve_reader::carve_reader(block_device& dev, std::uint64_t base, std::uint64_t limit,
                           const std::atomic_ref<std::int32_t>* stop, std::span<const std::uint8_t> block,
                           std::uint64_t block_offset)
    : dev_(dev), base_(base), limit_(limit), stop_(stop), block_(block), block_offset_(block_offset)
{
}

// Copies the candidate's bytes [off, off + n) to out: the part the scan's block holds from
// it, the rest from the device. got is the count copied, short only at the device's end.
bool carve_reader::copy_in(std::uint64_t off, std::uint8_t* out, std::size_t n, std::size_t& got)
{
    got = 0;
    const std::uint64_t abs = base_ + off;
    if (abs >= block_offset_ && abs - block_offset_ < block_.size()) {
        const std::size_t at = static_cast<std::size_t>(abs - block_offset_);
        got = std::min(n, block_.size() - at);
        std::memcpy(out, block_.data() + at, got);
        if (got == n)
            return true;
    }
    const std::int64_t r = dev_.read_at(abs + got, out + got, n - got);
    if (r < 0)
        return false;
    got += static_cast<std::size_t>(r);
    return true;
}

// Makes the buffer hold [off, off + n) (n already cut to the limit and at most a window).
// When off lies inside the buffer, what it holds from off on is kept and only the bytes
// behind it are read, a window at a time; otherwise a window is read from off.
bool carve_reader::fill(std::uint64_t off, std::size_t n)
{
    if (stopped()) {
        failed_ = true;
        return false;
    }
    if (!cache_)
        cache_ = std::make_unique_for_overwrite<std::uint8_t[]>(buffer_bytes);
    const bool inside = off >= cache_off_ && off - cache_off_ < cache_len_;
    if (!inside) {
        cache_off_ = off;
        cache_len_ = 0;
    } else if (off - cache_off_ + n > buffer_bytes) {
        // Full: the part from off on moves to the front (less than a window, since the
        // view reaches past the buffer's end), leaving room for at least three windows.
        const std::size_t at = static_cast<std::size_t>(off - cache_off_);
        std::memmove(cache_.get(), cache_.get() + at, cache_len_ - at);
        cache_off_ = off;
        cache_len_ -= at;
    }
    const std::uint64_t end = cache_off_ + cache_len_;  // the first byte not held
    const std::size_t needed = static_cast<std::size_t>(off + n - end);
    const std::size_t room = buffer_bytes - cache_len_;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(needed, std::min(room, window_bytes)), limit_ - end));
    std::size_t got = 0;
    if (!copy_in(end, cache_.get() + cache_len_, want, got)) {
        failed_ = true;
        cache_len_ = 0;
        return false;
    }
    cache_len_ += got;
    return true;
}

std::span<const std::uint8_t> carve_reader::view(std::uint64_t off, std::size_t n)
{
    if (off >= limit_ || failed_)
        return {};
    n = static_cast<std::size_t>(std::min<std::uint64_t>({n, window_bytes, limit_ - off}));
    const std::uint64_t abs = base_ + off;
    if (abs >= block_offset_ && abs - block_offset_ + n <= block_.size()) {
        if (stopped()) {
            failed_ = true;
            return {};
        }
        return block_.subspan(static_cast<std::size_t>(abs - block_offset_), n);
    }
    if (!(off >= cache_off_ && off - cache_off_ + n <= cache_len_)) {
        if (!fill(off, n))
            return {};
    }
    const std::size_t at = static_cast<std::size_t>(off - cache_off_);
    const std::size_t have = std::min(n, cache_len_ - std::min(cache_len_, at));
    return std::span<const std::uint8_t>(cache_.get() + at, have);
}

bool carve_reader::read(std::uint64_t off, void* out, std::size_t n)
{
    auto* dst = static_cast<std::uint8_t*>(out);
    while (n > 0) {
        const std::span<const std::uint8_t> s = view(off, n);
        if (s.empty())
            return false;
        std::memcpy(dst, s.data(), s.size());
        dst += s.size();
        off += s.size();
        n -= s.size();
    }
    return true;
}

namespace {

template <typename T, bool big>
std::optional<T> load(carve_reader& r, std::uint64_t off)
{
    std::uint8_t b[sizeof(T)];
    if (!r.read(off, b, sizeof(T)))
        return std::nullopt;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        const std::size_t k = big ? i : sizeof(T) - 1 - i;
        v = static_cast<T>((v << 8) | b[k]);
    }
    return v;
}

}  // namespace

std::optional<std::uint8_t> carve_reader::u8(std::uint64_t off)
{
    return load<std::uint8_t, false>(*this, off);
}
std::optional<std::uint16_t> carve_reader::le16(std::uint64_t off)
{
    return load<std::uint16_t, false>(*this, off);
}
std::optional<std::uint32_t> carve_reader::le32(std::uint64_t off)
{
    return load<std::uint32_t, false>(*this, off);
}
std::optional<std::uint64_t> carve_reader::le64(std::uint64_t off)
{
    return load<std::uint64_t, false>(*this, off);
}
std::optional<std::uint16_t> carve_reader::be16(std::uint64_t off)
{
    return load<std::uint16_t, true>(*this, off);
}
std::optional<std::uint32_t> carve_reader::be32(std::uint64_t off)
{
    return load<std::uint32_t, true>(*this, off);
}
std::optional<std::uint64_t> carve_reader::be64(std::uint64_t off)
{
    return load<std::uint64_t, true>(*this, off);
}

std::optional<std::uint64_t> carve_reader::find(std::uint64_t from, std::uint64_t to, std::string_view needle)
{
    if (needle.empty() || needle.size() > window_bytes / 2)
        return std::nullopt;
    to = std::min(to, limit_);
    std::uint64_t pos = from;
    while (pos < to && to - pos >= needle.size()) {
        const std::span<const std::uint8_t> s = view(pos, window_bytes);
        if (s.size() < needle.size())
            return std::nullopt;
        const std::string_view hay(reinterpret_cast<const char*>(s.data()), s.size());
        const std::size_t hit = hay.find(needle);
        if (hit != std::string_view::npos)
            return pos + hit + needle.size() <= to ? std::optional<std::uint64_t>(pos + hit) : std::nullopt;
        // The needle may straddle the window's end: the next window starts just before it.
        pos += s.size() - (needle.size() - 1);
    }
    return std::nullopt;
}
