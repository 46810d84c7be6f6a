// PNG: an 8-byte signature, then chunks (32-bit big-endian data length, 4-letter type,
// data, CRC-32 over type and data) up to IEND. The first chunk is IHDR of 13 bytes. Every
// chunk's CRC is checked, so a candidate that is damaged or cut short is dropped.
#include <zlib.h>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

bool letter(std::uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::optional<carve_result_s> png_size(carve_reader& r)
{
    std::uint64_t pos = 8;
    bool data = false;
    for (bool first = true;; first = false) {
        const auto len = r.be32(pos);
        std::uint8_t type[4];
        if (!len || *len > 0x7FFFFFFFu || !r.read(pos + 4, type, 4))
            return std::nullopt;
        for (std::uint8_t c : type) {
            if (!letter(c))
                return std::nullopt;
        }
        const std::string_view name(reinterpret_cast<const char*>(type), 4);
        if (first && (name != "IHDR" || *len != 13))
            return std::nullopt;
        // The CRC covers the chunk's type and data.
        const std::uint64_t at = pos + 4 + 4 + static_cast<std::uint64_t>(*len);
        const auto crc = crc32_of(r, pos + 4, 4 + static_cast<std::uint64_t>(*len));
        const auto stored = r.be32(at);
        if (!crc || !stored || *stored != *crc)
            return std::nullopt;
        pos = at + 4;
        if (name == "IDAT")
            data = true;
        if (name == "IEND")
            return data ? std::optional<carve_result_s>(carve_result_s{pos, nullptr}) : std::nullopt;
    }
}

}  // namespace

extern const signature_s png_signature{
    "png", "png", 64 * mib, {{0, sig_bytes("\x89PNG\r\n\x1A\n")}}, png_size,
};
