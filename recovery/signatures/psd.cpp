// Photoshop documents: "8BPS", version 1 (PSD) or 2 (PSB, large documents), six zero
// bytes, channels, height, width, depth and color mode, then four sections, each after
// its length: color mode data, image resources ("8BIM" blocks), layer and mask
// information (a 64-bit length in PSB), and the merged image data, which has no length:
// its compression (0 raw, 1 PackBits with a table of row byte counts) gives it.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t f_version = 4, f_reserved = 6, f_channels = 12, f_height = 14, f_width = 18, f_depth = 22,
                        f_mode = 24, header_bytes = 26;

std::optional<carve_result_s> psd_size(carve_reader& r)
{
    const auto version = r.be16(f_version), channels = r.be16(f_channels), depth = r.be16(f_depth),
               mode = r.be16(f_mode);
    const auto height = r.be32(f_height), width = r.be32(f_width);
    const auto reserved_hi = r.be32(f_reserved);
    const auto reserved_lo = r.be16(f_reserved + 4);
    if (!version || !channels || !depth || !mode || !height || !width || !reserved_hi || !reserved_lo)
        return std::nullopt;
    const bool big = *version == 2;
    const std::uint32_t max_side = big ? 300000 : 30000;
    if ((*version != 1 && *version != 2) || *reserved_hi != 0 || *reserved_lo != 0 || *channels < 1 || *channels > 56 ||
        *height < 1 || *height > max_side || *width < 1 || *width > max_side ||
        (*depth != 1 && *depth != 8 && *depth != 16 && *depth != 32) || *mode > 9)
        return std::nullopt;
    std::uint64_t pos = header_bytes;
    const auto color = r.be32(pos);
    if (!color)
        return std::nullopt;
    pos += 4 + std::uint64_t{*color};
    const auto resources = r.be32(pos);
    if (!resources)
        return std::nullopt;
    if (*resources != 0) {
        char tag[4];
        if (!r.read(pos + 4, tag, 4) || std::string_view(tag, 4) != "8BIM")
            return std::nullopt;
    }
    pos += 4 + std::uint64_t{*resources};
    const auto layers = big ? r.be64(pos) : std::optional<std::uint64_t>(r.be32(pos));
    if (!layers || *layers > r.limit())
        return std::nullopt;
    pos += (big ? 8 : 4) + *layers;
    const auto compression = r.be16(pos);
    if (!compression)
        return std::nullopt;
    pos += 2;
    const std::uint64_t rows = static_cast<std::uint64_t>(*height) * *channels;
    const std::uint64_t row_bytes = (static_cast<std::uint64_t>(*width) * *depth + 7) / 8;
    if (*compression == 0) {
        pos += rows * row_bytes;
    } else if (*compression == 1) {
        const std::uint64_t entry = big ? 4 : 2;
        std::uint64_t data = 0;
        for (std::uint64_t i = 0; i < rows; ++i) {
            const auto n = big ? r.be32(pos + i * entry) : std::optional<std::uint32_t>(r.be16(pos + i * entry));
            if (!n || *n > 2 * row_bytes + 2)
                return std::nullopt;  // PackBits never grows a row by more than that
            data += *n;
        }
        pos += rows * entry + data;
    } else {
        return std::nullopt;  // zip-compressed merged data has no length to find
    }
    if (pos > r.limit() || r.view(pos - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{pos, big ? "psb" : nullptr};
}

}  // namespace

extern const signature_s psd_signature{
    "psd", "psd", 4 * gib, {{0, sig_bytes("8BPS")}}, psd_size,
};
