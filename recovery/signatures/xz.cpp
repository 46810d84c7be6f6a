// xz: a stream header (FD "7zXZ" 00, two flag bytes, CRC-32), blocks, an index and a
// stream footer ending in "YZ". The footer, the index it points back to (read by liblzma)
// and every block header must check out; the stream ends at the footer, and the zero
// padding that may follow a stream (a multiple of 4 bytes) is not counted.
#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

std::optional<carve_result_s> xz_size(carve_reader& r)
{
    const auto end = xz_end(r, 0);
    if (!end)
        return std::nullopt;
    return carve_result_s{*end, nullptr};
}

}  // namespace

extern const signature_s xz_signature{
    "xz",
    "xz",
    4 * gib,
    {{0, sig_bytes("\xFD"
                   "7zXZ\x00")}},
    xz_size,
};
