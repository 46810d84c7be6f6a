// Netpbm binary images: "P4" (bitmap), "P5" (gray) or "P6" (color), then in text the
// width, the height and, except for P4, the largest sample value, separated by white space
// and "#" comments to the line's end; one white-space byte, then the samples: P4 packs 8
// pixels a byte per row, P5 and P6 take one or two bytes a sample (two when the largest
// value is above 255), P6 three samples a pixel. The length follows from the header.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t max_header = 1024;
constexpr std::uint64_t max_side = 100000;

bool space(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::optional<carve_result_s> netpbm_size(carve_reader& r)
{
    // The kind selects the extension below, so it is checked here rather than trusted to
    // the header match that brought the scan here.
    const auto kind = r.u8(1);
    if (!kind || *kind < '4' || *kind > '6')
        return std::nullopt;
    const int fields = *kind == '4' ? 2 : 3;
    std::uint64_t pos = 2;
    std::uint64_t value[3] = {};
    for (int f = 0; f < fields; ++f) {
        // White space and comments before each number; at least one separator.
        bool separated = false;
        for (;;) {
            const auto c = r.u8(pos);
            if (!c || pos > max_header)
                return std::nullopt;
            if (space(*c)) {
                separated = true;
                ++pos;
            } else if (*c == '#') {
                std::optional<std::uint8_t> d;
                while ((d = r.u8(++pos)) && *d != '\n' && *d != '\r' && pos <= max_header) {
                }
                if (!d || pos > max_header)
                    return std::nullopt;
            } else {
                break;
            }
        }
        if (!separated)
            return std::nullopt;
        std::uint64_t v = 0;
        int digits = 0;
        std::optional<std::uint8_t> c;
        while ((c = r.u8(pos)) && *c >= '0' && *c <= '9' && digits < 7) {
            v = v * 10 + (*c - '0');
            ++digits, ++pos;
        }
        if (!c || digits == 0 || !space(*c))
            return std::nullopt;
        value[f] = v;
    }
    ++pos;  // the single white-space byte before the samples
    const std::uint64_t width = value[0], height = value[1], maxval = value[2];
    if (width == 0 || height == 0 || width > max_side || height > max_side)
        return std::nullopt;
    std::uint64_t data = 0;
    if (*kind == '4') {
        data = (width + 7) / 8 * height;
    } else {
        if (maxval == 0 || maxval > 65535)
            return std::nullopt;
        data = width * height * (*kind == '6' ? 3 : 1) * (maxval > 255 ? 2 : 1);
    }
    const std::uint64_t end = pos + data;
    if (end > r.limit() || r.view(end - 1, 1).empty())
        return std::nullopt;
    static const char* const names[] = {"pbm", "pgm", "ppm"};
    return carve_result_s{end, names[*kind - '4']};
}

}  // namespace

extern const signature_s netpbm_signature{
    "pnm",
    "ppm",
    256 * mib,
    {{0, sig_bytes("P4\n")},
     {0, sig_bytes("P5\n")},
     {0, sig_bytes("P6\n")},
     {0, sig_bytes("P4 ")},
     {0, sig_bytes("P5 ")},
     {0, sig_bytes("P6 ")},
     {0, sig_bytes("P4#")},
     {0, sig_bytes("P5#")},
     {0, sig_bytes("P6#")}},
    netpbm_size,
};
