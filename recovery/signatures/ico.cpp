// Windows icons and cursors: a 6-byte header (0, type 1 icon or 2 cursor, image count)
// and one 16-byte entry per image (width, height, colors, a zero byte, two 16-bit fields,
// the image's length and offset). Each image is a PNG or a BMP without its file header
// (a BITMAPINFOHEADER of 40 bytes). The file ends at the furthest image's end. Four bytes
// of header are weak, so the entries and the images they point at are all checked.
#include <cstring>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t h_type = 2, h_count = 4, header_bytes = 6, entry_bytes = 16;
constexpr std::uint64_t e_reserved = 3, e_size = 8, e_offset = 12;

std::optional<carve_result_s> ico_size(carve_reader& r)
{
    const auto type = r.le16(h_type), count = r.le16(h_count);
    if (!type || !count || *count == 0 || *count > 64)
        return std::nullopt;
    const std::uint64_t first = header_bytes + entry_bytes * *count;
    std::uint64_t end = first;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::uint64_t e = header_bytes + i * entry_bytes;
        const auto reserved = r.u8(e + e_reserved);
        const auto size = r.le32(e + e_size), offset = r.le32(e + e_offset);
        if (!reserved || !size || !offset || *reserved != 0 || *size < 40 || *offset < first)
            return std::nullopt;
        std::uint8_t head[8];
        if (!r.read(*offset, head, sizeof head))
            return std::nullopt;
        const bool png = std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0;
        const bool dib = head[0] == 40 && head[1] == 0 && head[2] == 0 && head[3] == 0;
        if (!png && !dib)
            return std::nullopt;
        end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(*offset) + *size);
    }
    if (end > r.limit() || r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, *type == 2 ? "cur" : nullptr};
}

}  // namespace

extern const signature_s ico_signature{
    "ico", "ico", 16 * mib, {{0, sig_bytes("\0\0\x01\0")}, {0, sig_bytes("\0\0\x02\0")}}, ico_size,
};
