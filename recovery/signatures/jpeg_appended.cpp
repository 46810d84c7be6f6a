#include "recovery/signatures/jpeg_appended.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

constexpr std::uint16_t tag_number_of_images = 0xB001, tag_mp_entry = 0xB002;
constexpr std::uint16_t type_long = 4, type_undefined = 7;
constexpr std::size_t mp_entry_bytes = 16;
// Cameras store two or three images, stereo and panorama cameras a few more, phones a gain
// map and a video: an index of more is taken for damage. Each item costs two small reads.
constexpr std::size_t max_items = 64;

constexpr std::string_view xmp_id("http://ns.adobe.com/xap/1.0/\0", 29);

// Whether the n bytes at `at` are a whole item of the given type, judged by its first bytes
// (and a JPEG's EOI at its end).
bool looks_like(carve_reader& r, std::uint64_t at, std::uint64_t n, std::string_view mime)
{
    std::uint8_t head[8], tail[2];
    if (n < sizeof head || !r.read(at, head, sizeof head))
        return false;
    if (mime == "image/jpeg")
        return std::memcmp(head, "\xFF\xD8\xFF", 3) == 0 && r.read(at + n - 2, tail, 2) &&
               std::memcmp(tail, "\xFF\xD9", 2) == 0;
    if (mime == "video/mp4" || mime == "video/quicktime")
        return std::memcmp(head + 4, "ftyp", 4) == 0;
    if (mime == "image/png")
        return std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0;
    return false;
}

// The value of an item's field, written as an attribute (Item:Length="12") or as an element
// (<Item:Length>12</Item:Length>); nullopt when the item does not hold it.
std::optional<std::string_view> field(std::string_view item, std::string_view name)
{
    for (std::size_t at = item.find(name); at != std::string_view::npos; at = item.find(name, at + 1)) {
        std::size_t p = at + name.size();
        while (p < item.size() && (item[p] == ' ' || item[p] == '\t' || item[p] == '\r' || item[p] == '\n'))
            ++p;
        if (p >= item.size())
            return std::nullopt;
        if (item[p] == '>') {
            const std::size_t close = item.find('<', p + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            return item.substr(p + 1, close - p - 1);
        }
        if (item[p] != '=')
            continue;  // a longer name that starts with this one
        ++p;
        while (p < item.size() && item[p] == ' ')
            ++p;
        if (p >= item.size() || (item[p] != '"' && item[p] != '\''))
            return std::nullopt;
        const std::size_t close = item.find(item[p], p + 1);
        if (close == std::string_view::npos)
            return std::nullopt;
        return item.substr(p + 1, close - p - 1);
    }
    return std::nullopt;
}

// A decimal count of bytes (absent: 0); nullopt when it is not one.
std::optional<std::uint64_t> byte_count(std::optional<std::string_view> text)
{
    if (!text)
        return 0;
    if (text->empty() || text->size() > 12)
        return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

}  // namespace

void jpeg_appended_c::segment(carve_reader& r, std::uint8_t marker, std::uint64_t data, std::uint64_t end)
{
    // Only the first index of each kind counts; a damaged one leaves its list empty.
    if (marker == 0xE2 && !mpf_seen_ && end - data >= 4 + 8) {
        const std::span<const std::uint8_t> id = r.view(data, 4);
        if (id.size() == 4 && std::memcmp(id.data(), "MPF\0", 4) == 0) {
            mpf_seen_ = true;
            if (!read_mpf(r, data + 4, end))
                mpf_.clear();
        }
    } else if (marker == 0xE1 && !xmp_seen_ && end - data > xmp_id.size()) {
        const std::span<const std::uint8_t> id = r.view(data, xmp_id.size());
        if (id.size() == xmp_id.size() && std::memcmp(id.data(), xmp_id.data(), xmp_id.size()) == 0) {
            xmp_seen_ = true;
            if (!read_container(r, data + xmp_id.size(), end))
                items_.clear();
        }
    }
}

// The IFD and the entries are read only inside the segment, where writers put them, which
// also bounds what a hostile index can make the walk read.
bool jpeg_appended_c::read_mpf(carve_reader& r, std::uint64_t header, std::uint64_t segment_end)
{
    const std::span<const std::uint8_t> order = r.view(header, 4);
    if (order.size() < 4)
        return false;
    bool big = false;
    if (std::memcmp(order.data(), "MM\0*", 4) == 0)
        big = true;
    else if (std::memcmp(order.data(), "II*\0", 4) != 0)
        return false;
    const auto u16 = [&](std::uint64_t at) -> std::optional<std::uint32_t> {
        const auto v = big ? r.be16(header + at) : r.le16(header + at);
        return v ? std::optional<std::uint32_t>(*v) : std::nullopt;
    };
    const auto u32 = [&](std::uint64_t at) { return big ? r.be32(header + at) : r.le32(header + at); };
    // Whether [at, at + n), counted from the MP header, lies inside the segment.
    const std::uint64_t room = segment_end - header;
    const auto inside = [&](std::uint64_t at, std::uint64_t n) { return at <= room && n <= room - at; };

    const auto ifd = u32(4);
    if (!ifd || !inside(*ifd, 2))
        return false;
    const auto count = u16(*ifd);
    if (!count || !inside(*ifd + 2, 12 * static_cast<std::uint64_t>(*count)))
        return false;
    std::optional<std::uint32_t> number, entries_at, entries_bytes;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t e = *ifd + 2 + 12 * static_cast<std::uint64_t>(i);
        const auto tag = u16(e), type = u16(e + 2);
        const auto n = u32(e + 4), value = u32(e + 8);
        if (!tag || !type || !n || !value)
            return false;
        if (*tag == tag_number_of_images) {
            if (*type != type_long || *n != 1)
                return false;
            number = value;
        } else if (*tag == tag_mp_entry) {
            if (*type != type_undefined)
                return false;
            entries_bytes = n;
            entries_at = value;
        }
    }
    if (!entries_at || *entries_bytes == 0 || *entries_bytes % mp_entry_bytes != 0 ||
        *entries_bytes / mp_entry_bytes > max_items || !inside(*entries_at, *entries_bytes))
        return false;
    const auto images = static_cast<std::uint32_t>(*entries_bytes / mp_entry_bytes);
    if (number && *number != images)
        return false;
    for (std::uint32_t k = 0; k < images; ++k) {
        const std::uint64_t e = *entries_at + mp_entry_bytes * k;
        const auto size = u32(e + 4), offset = u32(e + 8);
        if (!size || !offset)
            return false;
        if (*offset != 0)  // 0: the first image itself
            mpf_.push_back({header + *offset, *size});
    }
    return true;
}

// The directory's first item is the JPEG itself (its Padding counts, its Length does not);
// every other item needs a type and a length.
bool jpeg_appended_c::read_container(carve_reader& r, std::uint64_t data, std::uint64_t segment_end)
{
    std::string text(static_cast<std::size_t>(segment_end - data), '\0');
    if (!r.read(data, text.data(), text.size()))
        return false;
    const std::string_view x(text);
    const std::size_t dir = x.find("<Container:Directory");
    if (dir == std::string_view::npos)
        return true;
    const std::size_t dir_end = x.find("</Container:Directory>", dir);
    if (dir_end == std::string_view::npos)
        return false;
    const std::string_view d = x.substr(dir, dir_end - dir);
    constexpr std::string_view open("<Container:Item");
    bool first = true;
    for (std::size_t at = d.find(open); at != std::string_view::npos;) {
        const std::size_t next = d.find(open, at + open.size());
        const std::string_view item = d.substr(at, next == std::string_view::npos ? d.size() - at : next - at);
        at = next;
        const auto padding = byte_count(field(item, "Item:Padding"));
        if (!padding)
            return false;
        if (first) {
            first = false;
            primary_padding_ = *padding;
            continue;
        }
        const auto mime = field(item, "Item:Mime");
        const auto length = byte_count(field(item, "Item:Length"));
        if (!mime || !length || *length == 0 || items_.size() >= max_items)
            return false;
        items_.push_back({std::string(*mime), *length, *padding});
    }
    return true;
}

std::uint64_t jpeg_appended_c::mpf_end(carve_reader& r, std::uint64_t primary_end) const
{
    std::uint64_t end = primary_end;
    for (const placed_s& m : mpf_) {
        if (m.start < primary_end || m.start > r.limit() || m.size > r.limit() - m.start ||
            !looks_like(r, m.start, m.size, "image/jpeg"))
            return primary_end;
        end = std::max(end, m.start + m.size);
    }
    return end;
}

std::uint64_t jpeg_appended_c::container_end(carve_reader& r, std::uint64_t primary_end) const
{
    if (items_.empty())
        return primary_end;
    std::uint64_t at = primary_end;
    std::uint64_t padding = primary_padding_;
    for (const item_s& i : items_) {
        if (padding > r.limit() - at)
            return primary_end;
        at += padding;
        if (i.length > r.limit() - at || !looks_like(r, at, i.length, i.mime))
            return primary_end;
        at += i.length;
        padding = i.padding;
    }
    return at;
}

std::uint64_t jpeg_appended_c::end(carve_reader& r, std::uint64_t primary_end) const
{
    return std::max(mpf_end(r, primary_end), container_end(r, primary_end));
}
