#include "recovery/signatures/stream_ends.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t out_bytes = 1u << 16;

}  // namespace

std::optional<std::uint32_t> crc32_of(carve_reader& r, std::uint64_t at, std::uint64_t n)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const auto s = r.view(at, static_cast<std::size_t>(std::min<std::uint64_t>(n, carve_reader::window_bytes)));
        if (s.empty())
            return std::nullopt;
        crc = crc32(crc, s.data(), static_cast<uInt>(s.size()));
        at += s.size();
        n -= s.size();
    }
    return static_cast<std::uint32_t>(crc);
}

std::optional<std::uint64_t> deflate_end(carve_reader& r, std::uint64_t pos, deflate_kind kind)
{
    z_stream z{};
    const int bits = kind == deflate_kind::raw ? -15 : kind == deflate_kind::zlib ? 15 : 16 + 15;
    if (inflateInit2(&z, bits) != Z_OK)
        return std::nullopt;
    std::vector<std::uint8_t> out(out_bytes);
    std::uint64_t at = pos;
    std::uint64_t expanded = 0;
    std::optional<std::uint64_t> end;
    for (;;) {
        if (z.avail_in == 0) {
            const auto s = r.view(at, carve_reader::window_bytes);
            if (s.empty())
                break;
            z.next_in = const_cast<Bytef*>(s.data());
            z.avail_in = static_cast<uInt>(s.size());
            at += s.size();
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        expanded += out.size() - z.avail_out;
        if (rc == Z_STREAM_END) {
            end = at - z.avail_in;
            break;
        }
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || expanded > max_expanded_bytes || r.stopped())
            break;
        if (rc == Z_BUF_ERROR && z.avail_in != 0)
            break;
    }
    inflateEnd(&z);
    return end;
}

std::optional<std::uint64_t> bzip2_end(carve_reader& r, std::uint64_t pos)
{
    bz_stream z{};
    if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK)
        return std::nullopt;
    std::vector<char> out(out_bytes);
    std::uint64_t at = pos;
    std::uint64_t expanded = 0;
    std::optional<std::uint64_t> end;
    for (;;) {
        if (z.avail_in == 0) {
            const auto s = r.view(at, carve_reader::window_bytes);
            if (s.empty())
                break;
            z.next_in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(s.data()));
            z.avail_in = static_cast<unsigned>(s.size());
            at += s.size();
        }
        z.next_out = out.data();
        z.avail_out = static_cast<unsigned>(out.size());
        const int rc = BZ2_bzDecompress(&z);
        expanded += out.size() - z.avail_out;
        if (rc == BZ_STREAM_END) {
            end = at - z.avail_in;
            break;
        }
        if (rc != BZ_OK || expanded > max_expanded_bytes || r.stopped())
            break;
    }
    BZ2_bzDecompressEnd(&z);
    return end;
}

std::optional<std::uint64_t> xz_end(carve_reader& r, std::uint64_t pos)
{
    lzma_stream z = LZMA_STREAM_INIT;
    // One stream only: without LZMA_CONCATENATED the decoder ends at the stream footer,
    // whose check (CRC or SHA-256) and index it has verified.
    if (lzma_stream_decoder(&z, UINT64_MAX, 0) != LZMA_OK)
        return std::nullopt;
    std::vector<std::uint8_t> out(out_bytes);
    std::uint64_t at = pos;
    std::optional<std::uint64_t> end;
    for (;;) {
        if (z.avail_in == 0) {
            const auto s = r.view(at, carve_reader::window_bytes);
            if (s.empty())
                break;
            z.next_in = s.data();
            z.avail_in = s.size();
            at += s.size();
        }
        z.next_out = out.data();
        z.avail_out = out.size();
        const lzma_ret rc = lzma_code(&z, LZMA_RUN);
        if (rc == LZMA_STREAM_END) {
            end = at - z.avail_in;
            break;
        }
        if (rc != LZMA_OK || z.total_out > max_expanded_bytes || r.stopped())
            break;
    }
    lzma_end(&z);
    return end;
}
