// GIF87a / GIF89a: header, logical screen descriptor (7 bytes) and optional global color
// table, then a sequence of blocks: image descriptors (0x2C, with an optional local color
// table, the LZW code size and data sub-blocks), extensions (0x21, a label and
// sub-blocks), up to the trailer byte 0x3B. Any other block byte means the data is not
// (or no longer) a GIF.
#include "recovery/signatures/signature.h"

namespace {

// Skips a chain of sub-blocks (a length byte, that many bytes, ... a zero length).
std::optional<std::uint64_t> skip_sub_blocks(carve_reader& r, std::uint64_t pos)
{
    for (;;) {
        const auto n = r.u8(pos);
        if (!n)
            return std::nullopt;
        pos += 1 + *n;
        if (*n == 0)
            return pos;
    }
}

std::optional<carve_result_s> gif_size(carve_reader& r)
{
    const auto packed = r.u8(10);
    if (!packed)
        return std::nullopt;
    std::uint64_t pos = 13;
    if (*packed & 0x80)
        pos += 3u << ((*packed & 7) + 1);
    int images = 0;
    for (;;) {
        const auto block = r.u8(pos);
        if (!block)
            return std::nullopt;
        if (*block == 0x3B) {
            if (images == 0)
                return std::nullopt;
            return carve_result_s{pos + 1, nullptr};
        }
        if (*block == 0x2C) {
            const auto local = r.u8(pos + 9);
            if (!local)
                return std::nullopt;
            pos += 10;
            if (*local & 0x80)
                pos += 3u << ((*local & 7) + 1);
            const auto code_size = r.u8(pos);
            if (!code_size || *code_size < 1 || *code_size > 12)
                return std::nullopt;
            const auto next = skip_sub_blocks(r, pos + 1);
            if (!next)
                return std::nullopt;
            pos = *next;
            ++images;
        } else if (*block == 0x21) {
            if (!r.u8(pos + 1))
                return std::nullopt;
            const auto next = skip_sub_blocks(r, pos + 2);
            if (!next)
                return std::nullopt;
            pos = *next;
        } else {
            return std::nullopt;
        }
    }
}

}  // namespace

extern const signature_s gif_signature{
    "gif", "gif", 64 * mib, {{0, sig_bytes("GIF87a")}, {0, sig_bytes("GIF89a")}}, gif_size,
};
