#include "recovery/signatures/stream_ends.h"

#include <bzlib.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <lzma.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "disk/le.h"

namespace {

constexpr std::size_t out_bytes = 1u << 16;
constexpr std::size_t inflate_out_bytes = 1u << 18;

}  // namespace

std::optional<std::uint32_t> crc32_of(carve_reader& r, std::uint64_t at, std::uint64_t n)
{
    std::uint32_t crc = 0;
    while (n > 0) {
        const auto s = r.view(at, static_cast<std::size_t>(std::min<std::uint64_t>(n, carve_reader::window_bytes)));
        if (s.empty())
            return std::nullopt;
        crc = crc32_gzip_refl(crc, s.data(), s.size());
        at += s.size();
        n -= s.size();
    }
    return crc;
}

namespace {

// ISA-L's decoder state (about 100 KiB) with the buffer its output is thrown into, made
// once per thread: zip archives end one stream per entry.
struct inflater_s {
    inflate_state state;
    std::array<std::uint8_t, inflate_out_bytes> out;
};

inflater_s& thread_inflater()
{
    thread_local const std::unique_ptr<inflater_s> z = std::make_unique<inflater_s>();
    return *z;
}

}  // namespace

std::optional<std::uint64_t> deflate_end(carve_reader& r, std::uint64_t pos, deflate_kind kind)
{
    inflater_s& z = thread_inflater();
    inflate_state& st = z.state;
    isal_inflate_init(&st);
    // The wrapper's header is parsed and its checks (gzip's header CRC, zlib's check bits)
    // and trailer (CRC-32 and length, or Adler-32) verified by the decoder itself.
    st.crc_flag = kind == deflate_kind::raw ? ISAL_DEFLATE : kind == deflate_kind::zlib ? ISAL_ZLIB : ISAL_GZIP;
    std::uint64_t at = pos;
    std::uint64_t expanded = 0;
    for (;;) {
        if (st.avail_in == 0) {
            const auto s = r.view(at, carve_reader::window_bytes);
            if (s.empty())
                return std::nullopt;
            st.next_in = const_cast<std::uint8_t*>(s.data());
            st.avail_in = static_cast<std::uint32_t>(s.size());
            at += s.size();
        }
        st.next_out = z.out.data();
        st.avail_out = static_cast<std::uint32_t>(z.out.size());
        const int rc = isal_inflate(&st);
        expanded += z.out.size() - st.avail_out;
        if (rc != ISAL_DECOMP_OK)
            return std::nullopt;
        if (st.block_state == ISAL_BLOCK_FINISH) {
            // Whole bytes the decoder took into its bit buffer but did not use belong to
            // what follows the stream.
            return at - st.avail_in - static_cast<std::uint64_t>(st.read_in_length / 8);
        }
        if (expanded > max_expanded_bytes || r.stopped())
            return std::nullopt;
    }
}

std::optional<std::uint64_t> bzip2_decoded_end(carve_reader& r, std::uint64_t pos)
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

namespace {

// bzip2 marks each block with a 48-bit magic and the stream's end with another, both at
// bit positions; each is followed by a 32-bit CRC (the block's, or the combination of all
// of them). A bit per value of the two bytes that follow a magic's first byte, for each of
// the 8 bit alignments, lets the search test one byte pair per byte before the full check.
constexpr std::uint64_t bz_block_magic = 0x314159265359;
constexpr std::uint64_t bz_end_magic = 0x177245385090;
constexpr std::uint64_t bz_magic_mask = 0xFFFFFFFFFFFF;

struct bz_mark_s {
    std::uint64_t bit = 0;  // from the stream's first bit, most significant bit of each byte first
    bool end = false;
};

const std::array<std::uint64_t, 1024>& bz_pair_table()
{
    static const std::array<std::uint64_t, 1024> table = [] {
        std::array<std::uint64_t, 1024> t{};
        for (const std::uint64_t magic : {bz_block_magic, bz_end_magic})
            for (int k = 0; k < 8; ++k) {
                const unsigned pair = static_cast<unsigned>((magic << (16 - k)) >> 40) & 0xFFFF;
                t[pair >> 6] |= std::uint64_t{1} << (pair & 63);
            }
        return t;
    }();
    return table;
}

std::uint64_t load_be64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | p[i];
    return v;
}

// The first mark that begins at or after bit `from` of the stream at pos.
std::optional<bz_mark_s> next_bz_mark(carve_reader& r, std::uint64_t pos, std::uint64_t from)
{
    const std::array<std::uint64_t, 1024>& pairs = bz_pair_table();
    std::uint64_t byte = from / 8;
    for (;;) {
        const auto s = r.view(pos + byte, carve_reader::window_bytes);
        // A mark and the CRC behind it take more than 8 bytes.
        if (s.size() < 8 || r.stopped())
            return std::nullopt;
        for (std::size_t i = 0; i + 8 <= s.size(); ++i) {
            const unsigned pair = s[i + 1] << 8 | s[i + 2];
            if (!((pairs[pair >> 6] >> (pair & 63)) & 1))
                continue;
            const std::uint64_t w = load_be64(s.data() + i);
            for (int k = 0; k < 8; ++k) {
                const std::uint64_t bit = (byte + i) * 8 + static_cast<unsigned>(k);
                const std::uint64_t v = (w >> (16 - k)) & bz_magic_mask;
                if (bit >= from && (v == bz_block_magic || v == bz_end_magic))
                    return bz_mark_s{bit, v == bz_end_magic};
            }
        }
        byte += s.size() - 7;
    }
}

std::optional<std::uint32_t> bz_bits32(carve_reader& r, std::uint64_t pos, std::uint64_t bit)
{
    std::uint8_t b[5] = {};
    if (!r.read(pos + bit / 8, b, sizeof b))
        return std::nullopt;
    std::uint64_t v = 0;
    for (const std::uint8_t x : b)
        v = v << 8 | x;
    return static_cast<std::uint32_t>(v >> (8 - bit % 8));
}

// The end from the marks alone: blocks follow one another from right after the 4-byte
// header up to the end mark, whose CRC must combine the blocks' CRCs.
std::optional<std::uint64_t> bzip2_marked_end(carve_reader& r, std::uint64_t pos)
{
    constexpr std::uint64_t first_bit = 32;
    std::optional<bz_mark_s> mark = next_bz_mark(r, pos, first_bit);
    if (!mark || mark->bit != first_bit)
        return std::nullopt;
    std::uint32_t combined = 0;
    for (;;) {
        const std::optional<std::uint32_t> crc = bz_bits32(r, pos, mark->bit + 48);
        if (!crc)
            return std::nullopt;
        if (mark->end)
            return *crc == combined ? std::optional<std::uint64_t>(pos + (mark->bit + 80 + 7) / 8) : std::nullopt;
        combined = (combined << 1 | combined >> 31) ^ *crc;
        mark = next_bz_mark(r, pos, mark->bit + 80);
        if (!mark)
            return std::nullopt;
    }
}

// Whether the block header at `at` is whole and its CRC-32 holds.
bool xz_block_header_sound(carve_reader& r, std::uint64_t at)
{
    const std::optional<std::uint8_t> size_byte = r.u8(at);
    if (!size_byte || *size_byte == 0)
        return false;
    const std::uint64_t size = (std::uint64_t{*size_byte} + 1) * 4;
    const std::optional<std::uint32_t> stored = r.le32(at + size - 4);
    const std::optional<std::uint32_t> crc = crc32_of(r, at, size - 4);
    return stored && crc && *stored == *crc;
}

// Whether a footer at `footer` closes the stream at pos: its CRC and flags, the index before
// it (liblzma checks the index's CRC and records), a stream exactly that long, and the
// header of every block the index lists.
bool xz_footer_closes(carve_reader& r, std::uint64_t pos, std::uint64_t footer, const lzma_stream_flags& header_flags)
{
    std::uint8_t bytes[LZMA_STREAM_HEADER_SIZE];
    lzma_stream_flags footer_flags;
    if (!r.read(footer, bytes, sizeof bytes) || lzma_stream_footer_decode(&footer_flags, bytes) != LZMA_OK ||
        lzma_stream_flags_compare(&header_flags, &footer_flags) != LZMA_OK)
        return false;
    constexpr std::uint64_t max_index_bytes = 64u << 20;
    const std::uint64_t index_size = footer_flags.backward_size;
    if (index_size > max_index_bytes || footer - pos < LZMA_STREAM_HEADER_SIZE + index_size)
        return false;
    std::vector<std::uint8_t> index_bytes(static_cast<std::size_t>(index_size));
    if (!r.read(footer - index_size, index_bytes.data(), index_bytes.size()))
        return false;
    lzma_index* index = nullptr;
    std::uint64_t memlimit = 256u << 20;
    std::size_t in_pos = 0;
    if (lzma_index_buffer_decode(&index, &memlimit, nullptr, index_bytes.data(), &in_pos, index_bytes.size()) !=
        LZMA_OK)
        return false;
    bool sound = in_pos == index_bytes.size() && lzma_index_stream_flags(index, &footer_flags) == LZMA_OK &&
                 lzma_index_stream_size(index) == footer + LZMA_STREAM_HEADER_SIZE - pos;
    lzma_index_iter it;
    lzma_index_iter_init(&it, index);
    while (sound && !lzma_index_iter_next(&it, LZMA_INDEX_ITER_BLOCK))
        sound = xz_block_header_sound(r, pos + it.block.compressed_stream_offset);
    lzma_index_end(index, nullptr);
    return sound;
}

// The end from the stream's own records: the footer, a multiple of 4 bytes from the start,
// ends in "YZ"; the first footer that closes the stream ends it.
std::optional<std::uint64_t> xz_indexed_end(carve_reader& r, std::uint64_t pos)
{
    std::uint8_t header[LZMA_STREAM_HEADER_SIZE];
    lzma_stream_flags header_flags;
    if (!r.read(pos, header, sizeof header) || lzma_stream_header_decode(&header_flags, header) != LZMA_OK)
        return std::nullopt;
    // The smallest stream: header, an empty index (8 bytes) and the footer.
    std::uint64_t footer = pos + LZMA_STREAM_HEADER_SIZE + 8;
    for (;;) {
        const auto s = r.view(footer, carve_reader::window_bytes);
        if (s.size() < LZMA_STREAM_HEADER_SIZE || r.stopped())
            return std::nullopt;
        std::size_t i = 0;
        for (; i + LZMA_STREAM_HEADER_SIZE <= s.size(); i += 4) {
            if (s[i + 10] != 'Y' || s[i + 11] != 'Z')
                continue;
            const std::uint64_t at = footer + i;
            if (le64(s, i) == 0)
                continue;  // zeros before "YZ" are no footer's CRC and size
            if (xz_footer_closes(r, pos, at, header_flags))
                return at + LZMA_STREAM_HEADER_SIZE;
        }
        footer += i;
    }
}

}  // namespace

std::optional<std::uint64_t> bzip2_end(carve_reader& r, std::uint64_t pos)
{
    // The marks give the end without decoding; a stream whose marks do not add up (a block
    // magic by chance inside compressed data) is decoded instead.
    if (const auto end = bzip2_marked_end(r, pos))
        return end;
    return bzip2_decoded_end(r, pos);
}

std::optional<std::uint64_t> xz_end(carve_reader& r, std::uint64_t pos)
{
    return xz_indexed_end(r, pos);
}
