// JPEG (JFIF, Exif): the markers are walked from SOI to EOI. Segments carry a 16-bit
// big-endian length that counts itself; after a start-of-scan (SOS) segment the
// entropy-coded data runs until the next marker, where FF 00 is a stuffed data byte and
// FF D0..D7 are restart markers inside the data. Progressive files hold several scans, so
// the walk goes on after each one until EOI. Thumbnails in APP segments are skipped whole.
//
// Cameras and phones store more whole JPEGs behind the first one's EOI (a large preview, an
// HDR gain map, a second view) and list them in a Multi-Picture Format (MPF) index: an APP2
// segment "MPF\0", then a TIFF-style header whose offsets count from its own first byte, an
// IFD, and one 16-byte entry per image (attribute, size, offset; offset 0 is the first
// image). Such a file ends behind the last image the index places after the first one.
#include <algorithm>
#include <cstring>
#include <vector>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint16_t tag_number_of_images = 0xB001, tag_mp_entry = 0xB002;
constexpr std::uint16_t type_long = 4, type_undefined = 7;
constexpr std::size_t mp_entry_bytes = 16;
// Cameras store two or three images, stereo and panorama cameras a few more; an index of
// more is taken for damage, and each image costs two small reads far apart.
constexpr std::uint32_t max_mp_images = 64;

bool is_sof(std::uint8_t m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// The offset of the marker (its FF) that ends entropy-coded data starting at pos.
std::optional<std::uint64_t> end_of_scan(carve_reader& r, std::uint64_t pos)
{
    for (;;) {
        const std::span<const std::uint8_t> s = r.view(pos, carve_reader::window_bytes);
        if (s.size() < 2)
            return std::nullopt;
        const void* ff = std::memchr(s.data(), 0xFF, s.size() - 1);
        if (ff == nullptr) {
            pos += s.size() - 1;
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - s.data());
        const std::uint8_t next = s[at + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
            pos += at + 1;
            continue;
        }
        return pos + at;
    }
}

// An image that an MPF index places in the file: its first byte and its length.
struct mp_image_s {
    std::uint64_t start;
    std::uint32_t size;
};

// The images other than the first that the MPF segment whose MP header starts at header
// and whose segment ends at segment_end lists; empty when the index is damaged. The IFD
// and the entries are read only inside the segment, where writers put them, which also
// bounds how much a hostile index can make the walk read.
std::vector<mp_image_s> mp_images(carve_reader& r, std::uint64_t header, std::uint64_t segment_end)
{
    const std::span<const std::uint8_t> order = r.view(header, 4);
    if (order.size() < 4)
        return {};
    bool big = false;
    if (std::memcmp(order.data(), "MM\0*", 4) == 0)
        big = true;
    else if (std::memcmp(order.data(), "II*\0", 4) != 0)
        return {};
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
        return {};
    const auto count = u16(*ifd);
    if (!count || !inside(*ifd + 2, 12 * static_cast<std::uint64_t>(*count)))
        return {};
    std::optional<std::uint32_t> number, entries_at, entries_bytes;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t e = *ifd + 2 + 12 * static_cast<std::uint64_t>(i);
        const auto tag = u16(e), type = u16(e + 2);
        const auto n = u32(e + 4), value = u32(e + 8);
        if (!tag || !type || !n || !value)
            return {};
        if (*tag == tag_number_of_images) {
            if (*type != type_long || *n != 1)
                return {};
            number = value;
        } else if (*tag == tag_mp_entry) {
            if (*type != type_undefined)
                return {};
            entries_bytes = n;
            entries_at = value;
        }
    }
    if (!entries_at || *entries_bytes == 0 || *entries_bytes % mp_entry_bytes != 0 ||
        *entries_bytes / mp_entry_bytes > max_mp_images || !inside(*entries_at, *entries_bytes))
        return {};
    const std::uint32_t images = *entries_bytes / mp_entry_bytes;
    if (number && *number != images)
        return {};
    std::vector<mp_image_s> out;
    for (std::uint32_t k = 0; k < images; ++k) {
        const std::uint64_t e = *entries_at + mp_entry_bytes * k;
        const auto size = u32(e + 4), offset = u32(e + 8);
        if (!size || !offset)
            return {};
        if (*offset != 0)
            out.push_back({header + *offset, *size});
    }
    return out;
}

// Where a file whose first image ends at primary_end ends: behind the furthest of the
// other images, when each lies after the first image and inside the limit and starts and
// ends as a JPEG does; otherwise (a damaged or bogus index) at primary_end.
std::uint64_t multi_picture_end(carve_reader& r, const std::vector<mp_image_s>& images, std::uint64_t primary_end)
{
    std::uint64_t end = primary_end;
    for (const mp_image_s& m : images) {
        if (m.start < primary_end || m.size < 4 || m.start > r.limit() || m.size > r.limit() - m.start)
            return primary_end;
        std::uint8_t soi[3], eoi[2];
        if (!r.read(m.start, soi, 3) || std::memcmp(soi, "\xFF\xD8\xFF", 3) != 0 ||
            !r.read(m.start + m.size - 2, eoi, 2) || std::memcmp(eoi, "\xFF\xD9", 2) != 0)
            return primary_end;
        end = std::max(end, m.start + m.size);
    }
    return end;
}

std::optional<carve_result_s> jpeg_size(carve_reader& r)
{
    std::uint64_t pos = 2;
    bool frame = false;
    bool scan = false;
    bool mpf_seen = false;
    std::vector<mp_image_s> more;  // the images an MPF index places behind the first one
    for (;;) {
        auto b = r.u8(pos);
        if (!b || *b != 0xFF)
            return std::nullopt;
        // Any number of FF fill bytes may stand before a marker.
        std::optional<std::uint8_t> m;
        while ((m = r.u8(pos + 1)) && *m == 0xFF)
            ++pos;
        if (!m)
            return std::nullopt;
        pos += 2;
        if (*m == 0xD9) {
            if (!frame || !scan)
                return std::nullopt;
            return carve_result_s{multi_picture_end(r, more, pos), nullptr};
        }
        if (*m == 0x01 || (*m >= 0xD0 && *m <= 0xD7))
            continue;
        if (*m == 0x00 || *m == 0xD8)
            return std::nullopt;
        const auto len = r.be16(pos);
        if (!len || *len < 2)
            return std::nullopt;
        if (is_sof(*m)) {
            if (*len < 8)
                return std::nullopt;
            frame = true;
        }
        // The index is read while its segment is at hand; only the first one counts.
        if (*m == 0xE2 && !mpf_seen && *len >= 2 + 4 + 8) {
            const std::span<const std::uint8_t> id = r.view(pos + 2, 4);
            if (id.size() == 4 && std::memcmp(id.data(), "MPF\0", 4) == 0) {
                mpf_seen = true;
                more = mp_images(r, pos + 2 + 4, pos + *len);
            }
        }
        pos += *len;
        if (*m == 0xDA) {
            if (!frame)
                return std::nullopt;
            scan = true;
            const auto end = end_of_scan(r, pos);
            if (!end)
                return std::nullopt;
            pos = *end;
        }
    }
}

}  // namespace

extern const signature_s jpeg_signature{
    "jpg", "jpg", 64 * mib, {{0, sig_bytes("\xFF\xD8\xFF")}}, jpeg_size,
};
