// 7z: a 32-byte signature header: the 6-byte signature, the format version (major 0),
// the CRC-32 of the next 20 bytes, then the offset (from byte 32) and the length of the
// "next header" at the archive's end, and that header's CRC-32. The archive ends with the
// next header; both CRCs are checked.
#include <zlib.h>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

constexpr std::uint64_t major_version = 6, start_crc = 8, next_offset = 12, next_size = 20, next_crc = 28,
                        header_bytes = 32;

std::optional<carve_result_s> sevenzip_size(carve_reader& r)
{
    std::uint8_t h[header_bytes];
    if (!r.read(0, h, sizeof h) || h[major_version] != 0)
        return std::nullopt;
    const auto stored = r.le32(start_crc), header_crc = r.le32(next_crc);
    const auto offset = r.le64(next_offset), size = r.le64(next_size);
    if (!stored || !header_crc || !offset || !size)
        return std::nullopt;
    if (*stored != static_cast<std::uint32_t>(crc32(0, h + next_offset, 20)))
        return std::nullopt;
    if (*size == 0 || *offset > r.limit() || *size > r.limit() - std::min(r.limit(), *offset))
        return std::nullopt;
    const std::uint64_t start = header_bytes + *offset;
    const auto crc = crc32_of(r, start, *size);
    if (!crc || *crc != *header_crc)
        return std::nullopt;
    return carve_result_s{start + *size, nullptr};
}

}  // namespace

extern const signature_s sevenzip_signature{
    "7z", "7z", 4 * gib, {{0, sig_bytes("7z\xBC\xAF\x27\x1C")}}, sevenzip_size,
};
