// TrueType and OpenType fonts: an sfnt header (version 00010000 or "true" for TrueType
// outlines, "OTTO" for CFF outlines), the table count and three search fields that follow
// from it exactly (searchRange = 16 x the largest power of two not above the count,
// entrySelector = its log2, rangeShift = 16 x count - searchRange), then 16-byte table
// records (tag, checksum, offset, length) in ascending tag order. The font ends at the
// furthest table's end, padded to 4 bytes as tables are. The "head" table must carry its
// magic number 5F0F3CF5.
#include <cstring>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t num_tables = 4, search_range = 6, entry_selector = 8, range_shift = 10, records = 12;
constexpr std::uint32_t head_magic = 0x5F0F3CF5;

std::optional<carve_result_s> sfnt_size(carve_reader& r)
{
    const auto n = r.be16(num_tables), range = r.be16(search_range), selector = r.be16(entry_selector),
               shift = r.be16(range_shift);
    if (!n || !range || !selector || !shift || *n == 0 || *n > 128)
        return std::nullopt;
    std::uint32_t power = 1, log = 0;
    while (power * 2 <= *n)
        power *= 2, ++log;
    if (*range != power * 16 || *selector != log || *shift != *n * 16 - power * 16)
        return std::nullopt;
    std::uint64_t end = records + 16ull * *n;
    std::uint32_t previous = 0;
    bool head = false;
    for (std::uint64_t i = 0; i < *n; ++i) {
        const std::uint64_t at = records + 16 * i;
        const auto tag = r.be32(at), offset = r.be32(at + 8), length = r.be32(at + 12);
        if (!tag || !offset || !length || (i > 0 && *tag <= previous))
            return std::nullopt;
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t c = static_cast<std::uint8_t>(*tag >> (24 - 8 * k));
            if (c < 0x20 || c > 0x7E)
                return std::nullopt;
        }
        previous = *tag;
        end = std::max<std::uint64_t>(end, (static_cast<std::uint64_t>(*offset) + *length + 3) / 4 * 4);
        if (*tag == 0x68656164) {  // "head"
            const auto magic = r.be32(static_cast<std::uint64_t>(*offset) + 12);
            if (!magic || *magic != head_magic)
                return std::nullopt;
            head = true;
        }
    }
    if (!head || end > r.limit() || r.view(end - 1, 1).empty())
        return std::nullopt;
    const auto version = r.be32(0);
    return carve_result_s{end, version && *version == 0x4F54544F ? "otf" : nullptr};
}

}  // namespace

extern const signature_s sfnt_signature{
    "ttf", "ttf", 64 * mib, {{0, sig_bytes("\0\x01\0\0")}, {0, sig_bytes("OTTO")}, {0, sig_bytes("true")}}, sfnt_size,
};
