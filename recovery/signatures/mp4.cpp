// ISO base media files (MP4, M4A, 3GP, HEIF) and QuickTime movies: a sequence of boxes,
// each a 32-bit big-endian size (1: a 64-bit size follows the type; 0: to the end of the
// file, which a carver cannot know) and a 4-character type. The file begins with "ftyp"
// and ends where the next top-level box is not one of the known top-level types, or is a
// second "ftyp" (the next file). A movie needs its "moov" and media data ("mdat", or
// fragments in "moof"). The major brand in "ftyp" names the extension.
#include <cstring>
#include <string_view>

#include "recovery/signatures/signature.h"

namespace {

bool top_level(std::string_view t)
{
    static constexpr std::string_view known[] = {"ftyp", "moov", "mdat", "free", "skip", "wide",
                                                 "uuid", "meta", "pdin", "moof", "mfra", "styp",
                                                 "sidx", "ssix", "prft", "emsg", "pnot", "junk"};
    for (std::string_view k : known) {
        if (t == k)
            return true;
    }
    return false;
}

const char* extension_of(std::string_view brand)
{
    if (brand == "qt  ")
        return "mov";
    if (brand == "M4A " || brand == "M4B ")
        return "m4a";
    if (brand.substr(0, 3) == "3gp" || brand.substr(0, 3) == "3g2")
        return "3gp";
    if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1")
        return "heic";
    return nullptr;
}

std::optional<carve_result_s> mp4_size(carve_reader& r)
{
    char brand[4];
    if (!r.read(8, brand, 4))
        return std::nullopt;
    std::uint64_t pos = 0;
    bool movie = false, media = false, image = false;
    for (bool first = true;; first = false) {
        const auto head = r.view(pos, 8);
        if (head.size() < 8) {
            if (!head.empty())
                return std::nullopt;  // a box header cut short
            break;
        }
        const std::uint64_t size32 = static_cast<std::uint64_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        char type[4];
        std::memcpy(type, head.data() + 4, 4);
        const std::string_view t(type, 4);
        if (!top_level(t) || (!first && t == "ftyp"))
            break;
        std::uint64_t size = size32;
        if (size == 1) {
            const auto big = r.be64(pos + 8);
            if (!big || *big < 16)
                return std::nullopt;
            size = *big;
        } else if (size < 8) {
            return std::nullopt;
        }
        if (size > r.limit() - pos || r.view(pos + size - 1, 1).empty())
            return std::nullopt;  // a box that runs past the data: the file is cut short
        movie |= t == "moov";
        media |= t == "mdat" || t == "moof";
        image |= t == "meta";
        pos += size;
    }
    if (!((movie && media) || (image && media)))
        return std::nullopt;
    return carve_result_s{pos, extension_of(std::string_view(brand, 4))};
}

}  // namespace

extern const signature_s mp4_signature{
    "mp4", "mp4", 16 * gib, {{4, sig_bytes("ftyp")}}, mp4_size,
};
