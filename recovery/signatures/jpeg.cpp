// JPEG (JFIF, Exif): the markers are walked from SOI to EOI. Segments carry a 16-bit
// big-endian length that counts itself; after a start-of-scan (SOS) segment the
// entropy-coded data runs until the next marker, where FF 00 is a stuffed data byte and
// FF D0..D7 are restart markers inside the data. Progressive files hold several scans, so
// the walk goes on after each one until EOI. Thumbnails in APP segments are skipped whole.
//
// Cameras and phones store more images (a large preview, an HDR gain map) or a video behind
// the first image's EOI and list them in its APP segments: such a file ends behind the last
// of them (jpeg_appended.h).
#include <cstring>

#include "recovery/signatures/jpeg_appended.h"
#include "recovery/signatures/signature.h"

namespace {

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

std::optional<carve_result_s> jpeg_size(carve_reader& r)
{
    std::uint64_t pos = 2;
    bool frame = false;
    bool scan = false;
    jpeg_appended_c appended;
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
            return carve_result_s{appended.end(r, pos), nullptr};
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
        if (*m >= 0xE0 && *m <= 0xEF)
            appended.segment(r, *m, pos + 2, pos + *len);
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
