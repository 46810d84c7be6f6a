// xz: a stream header (FD "7zXZ" 00, two flag bytes, CRC-32), blocks, an index and a
// stream footer ending in "YZ". liblzma decodes the stream, verifying the block checks,
// the index and the footer; the stream ends where the decoder says, and the zero padding
// that may follow a stream (a multiple of 4 bytes) is not counted.
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
    "xz", "xz", 4 * gib, {{0, sig_bytes("\xFD" "7zXZ\x00")}}, xz_size,
};
