// MPEG program streams (.mpg, .vob): a sequence of start codes 00 00 01 xx. A pack header
// (BA) is 12 bytes in MPEG-1 (its fifth byte begins with the bits 0010) or 14 bytes plus
// up to 7 stuffing bytes in MPEG-2 (fifth byte 01xxxxxx); the system header (BB) and every
// packet (BC and up) carry a 16-bit length after their start code. The stream ends with
// the end code B9. Many writers leave the end code out and instead fill the last pack to
// its size with a padding packet (BE): a stream whose last packet is a padding packet
// ends there when no start code follows. Anything else where a start code should be means
// the data is not (or no longer) the stream, and such a stream is dropped.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint32_t pack_start = 0x000001BA, end_code = 0x000001B9;
constexpr std::uint8_t padding_stream = 0xBE;

std::optional<carve_result_s> mpeg_ps_size(carve_reader& r)
{
    std::uint64_t pos = 0;
    std::uint64_t packs = 0;
    bool padded = false;  // the last packet walked was a padding packet
    for (;;) {
        const auto code = r.be32(pos);
        if (!code || (*code >> 8) != 1) {
            // The end of the volume or of the stream: whole only behind a padding packet.
            if (padded && (code || pos == r.limit()))
                return carve_result_s{pos, nullptr};
            return std::nullopt;
        }
        if (*code == pack_start) {
            const auto b4 = r.u8(pos + 4);
            if (!b4)
                return std::nullopt;
            if ((*b4 & 0xC0) == 0x40) {
                const auto stuffing = r.u8(pos + 13);
                if (!stuffing)
                    return std::nullopt;
                pos += 14 + (*stuffing & 7);
            } else if ((*b4 & 0xF0) == 0x20) {
                pos += 12;
            } else {
                return std::nullopt;
            }
            ++packs;
        } else if (*code == end_code) {
            if (packs == 0)
                return std::nullopt;
            return carve_result_s{pos + 4, nullptr};
        } else if ((*code >> 8) == 1 && (*code & 0xFF) >= 0xBB) {
            const auto length = r.be16(pos + 4);
            if (!length)
                return std::nullopt;
            pos += 6 + *length;
            padded = (*code & 0xFF) == padding_stream;
        } else {
            return std::nullopt;
        }
    }
}

}  // namespace

extern const signature_s mpeg_ps_signature{
    "mpg", "mpg", 16 * gib, {{0, sig_bytes("\0\0\x01\xBA")}}, mpeg_ps_size,
};
