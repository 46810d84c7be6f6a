// RIFF containers: "RIFF", the length of what follows (32-bit little-endian), a form type
// ("WAVE", "AVI ", "WEBP"), then chunks (a 4-character id, a 32-bit length, the data, a
// pad byte after odd lengths). The chunks are walked and must fill the form exactly. AVI
// files over 1 GiB go on with further "RIFF" ... "AVIX" forms, which belong to the file.
#include <cstring>

#include "recovery/signatures/signature.h"

namespace {

bool chunk_id(const std::uint8_t* id)
{
    for (int i = 0; i < 4; ++i) {
        if (id[i] < 0x20 || id[i] > 0x7E)
            return false;
    }
    return true;
}

// Walks the chunks of the form at pos; the offset just past the form, or nullopt.
std::optional<std::uint64_t> form_end(carve_reader& r, std::uint64_t pos)
{
    const auto length = r.le32(pos + 4);
    if (!length || *length < 4)
        return std::nullopt;
    const std::uint64_t end = pos + 8 + *length;
    std::uint64_t at = pos + 12;
    while (at + 8 <= end) {
        std::uint8_t id[4];
        const auto n = r.le32(at + 4);
        if (!r.read(at, id, 4) || !n || !chunk_id(id))
            return std::nullopt;
        // In 64 bits: a length near 2^32 must not wrap the step to 0 and walk in place.
        at += 8 + std::uint64_t{*n} + (*n & 1);
    }
    // A final pad byte may be left out of the form's length.
    if (at != end && at != end + 1)
        return std::nullopt;
    if (r.view(end - 1, 1).empty())
        return std::nullopt;
    return end;
}

std::optional<carve_result_s> riff_size(carve_reader& r)
{
    std::uint8_t form[4];
    if (!r.read(8, form, 4))
        return std::nullopt;
    const char* ext = nullptr;
    if (std::memcmp(form, "WAVE", 4) == 0)
        ext = "wav";
    else if (std::memcmp(form, "AVI ", 4) == 0)
        ext = "avi";
    else if (std::memcmp(form, "WEBP", 4) == 0)
        ext = "webp";
    else
        return std::nullopt;
    auto end = form_end(r, 0);
    if (!end)
        return std::nullopt;
    std::uint8_t next[12];
    while (std::strcmp(ext, "avi") == 0 && r.read(*end, next, 12) && std::memcmp(next, "RIFF", 4) == 0 &&
           std::memcmp(next + 8, "AVIX", 4) == 0) {
        const auto more = form_end(r, *end);
        if (!more)
            return std::nullopt;
        end = more;
    }
    return carve_result_s{*end, ext};
}

}  // namespace

extern const signature_s riff_signature{
    "riff", "wav", 4 * gib, {{0, sig_bytes("RIFF")}}, riff_size,
};
