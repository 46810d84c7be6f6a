// bzip2: "BZh", a block size digit 1 to 9, then blocks that each begin with the 48-bit
// magic 31 41 59 26 53 59 (an empty stream goes straight to the end-of-stream magic
// 17 72 45 38 50 90, followed by the CRC that combines the blocks' CRCs). The stream ends
// after the end mark once the CRCs add up; otherwise libbz2 decodes it to find out.
#include <cstring>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

std::optional<carve_result_s> bzip2_size(carve_reader& r)
{
    std::uint8_t b[10];
    if (!r.read(0, b, sizeof b) || b[3] < '1' || b[3] > '9')
        return std::nullopt;
    if (std::memcmp(b + 4, "\x31\x41\x59\x26\x53\x59", 6) != 0 &&
        std::memcmp(b + 4, "\x17\x72\x45\x38\x50\x90", 6) != 0)
        return std::nullopt;
    const auto end = bzip2_end(r, 0);
    if (!end)
        return std::nullopt;
    return carve_result_s{*end, nullptr};
}

}  // namespace

extern const signature_s bzip2_signature{
    "bz2", "bz2", 4 * gib, {{0, sig_bytes("BZh")}}, bzip2_size,
};
