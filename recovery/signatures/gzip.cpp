// gzip: members of 1F 8B, method 8 (deflate), a flag byte whose top three bits are
// reserved (zero), then the deflate data and a trailer with the CRC-32 and length of the
// uncompressed data. The decoder reads the member whole and checks the trailer; members
// that follow one another directly form one file.
#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

constexpr std::uint64_t gz_flags = 3, gz_xfl = 8, gz_os = 9;

bool member_header(carve_reader& r, std::uint64_t at)
{
    std::uint8_t b[10];
    if (!r.read(at, b, sizeof b))
        return false;
    return b[0] == 0x1F && b[1] == 0x8B && b[2] == 8 && (b[gz_flags] & 0xE0) == 0 &&
           (b[gz_xfl] == 0 || b[gz_xfl] == 2 || b[gz_xfl] == 4) && (b[gz_os] <= 13 || b[gz_os] == 255);
}

std::optional<carve_result_s> gzip_size(carve_reader& r)
{
    std::uint64_t pos = 0;
    do {
        const auto end = deflate_end(r, pos, deflate_kind::gzip);
        if (!end)
            return std::nullopt;  // a member that does not decode to its checked end
        pos = *end;
    } while (member_header(r, pos));
    return carve_result_s{pos, nullptr};
}

}  // namespace

extern const signature_s gzip_signature{
    "gz", "gz", 4 * gib, {{0, sig_bytes("\x1F\x8B\x08")}}, gzip_size,
};
