// BMP: "BM", the file's length (32-bit little-endian), two reserved 16-bit words (zero),
// the offset of the pixel array, then a DIB header whose own length names its version.
// The length comes from the header, so the header is checked hard: "BM" alone is far too
// common to trust. A file whose stated length runs past the data is dropped.
#include <cstdint>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t bf_size = 2, bf_reserved = 6, bf_off_bits = 10, dib_size = 14;

bool known_dib(std::uint32_t n)
{
    return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

bool known_depth(std::uint32_t bpp)
{
    return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

std::optional<carve_result_s> bmp_size(carve_reader& r)
{
    const auto size = r.le32(bf_size), reserved = r.le32(bf_reserved), off = r.le32(bf_off_bits),
               dib = r.le32(dib_size);
    if (!size || !reserved || !off || !dib || *reserved != 0 || !known_dib(*dib))
        return std::nullopt;
    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bpp = 0, compression = 0, image_bytes = 0;
    if (*dib == 12) {
        const auto w = r.le16(18), h = r.le16(20), p = r.le16(22), b = r.le16(24);  // OS/2 header
        if (!w || !h || !p || !b)
            return std::nullopt;
        width = *w, height = *h, planes = *p, bpp = *b;
    } else {
        const auto w = r.le32(18), h = r.le32(22), c = r.le32(30), n = r.le32(34);
        const auto p = r.le16(26), b = r.le16(28);
        if (!w || !h || !p || !b || !c || !n)
            return std::nullopt;
        width = static_cast<std::int32_t>(*w);
        height = static_cast<std::int32_t>(*h);
        planes = *p, bpp = *b, compression = *c, image_bytes = *n;
    }
    if (height < 0)
        height = -height;  // a top-down bitmap
    if (planes != 1 || !known_depth(bpp) || width <= 0 || height <= 0 || width > 1000000 || height > 1000000 ||
        compression > 6)
        return std::nullopt;
    if (*off < 14 + *dib || *off > *size)
        return std::nullopt;
    // Uncompressed rows are padded to 4 bytes; the pixels must fit in the stated length.
    // Compressed pixels (RLE, JPEG, PNG) have their byte count in the header instead.
    std::uint64_t pixels = 0;
    if (compression == 0 || compression == 3 || compression == 6)
        pixels = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4 * static_cast<std::uint64_t>(height);
    else
        pixels = image_bytes;
    if (pixels == 0 || *off + pixels > *size)
        return std::nullopt;
    // The whole stated length must be there.
    if (r.view(*size - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{*size, nullptr};
}

}  // namespace

extern const signature_s bmp_signature{
    "bmp", "bmp", 64 * mib, {{0, sig_bytes("BM")}}, bmp_size,
};
