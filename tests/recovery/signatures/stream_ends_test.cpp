// Where deflate streams end, against zlib's own decoder as the reference: every kind of
// block zlib's encoder writes, in each wrapper, whole, damaged and cut short.
#include "recovery/signatures/stream_ends.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>

#include "disk/block_device.h"
#include "tests/support/raw_fixtures.h"

using namespace raw_fixtures;

namespace {

int window_bits_of(deflate_kind kind, int bits)
{
    return kind == deflate_kind::raw ? -bits : kind == deflate_kind::zlib ? bits : 16 + bits;
}

const char* name_of(deflate_kind kind)
{
    return kind == deflate_kind::raw ? "raw" : kind == deflate_kind::zlib ? "zlib" : "gzip";
}

struct settings_s {
    int level;
    int strategy;
    int bits;  // the encoder's window
};

QByteArray compress(const QByteArray& in, deflate_kind kind, const settings_s& s, bool gzip_extras)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, s.level, Z_DEFLATED, window_bits_of(kind, s.bits), 8, s.strategy), Z_OK);
    char name[] = "photo-2024.raw";
    unsigned char extra[] = {'V', 'T', 4, 0, 1, 2, 3, 4};
    gz_header header{};
    if (gzip_extras) {
        // A name, an extra field and the header's own CRC: parts of the header that a
        // decoder has to step over and, for the CRC, check.
        header.name = reinterpret_cast<Bytef*>(name);
        header.extra = extra;
        header.extra_len = sizeof extra;
        header.hcrc = 1;
        header.os = 3;
        EXPECT_EQ(deflateSetHeader(&z, &header), Z_OK);
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(in.size())) + 256), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

// zlib's answer: the offset just past the stream at pos, when it decodes whole and checks.
std::optional<std::uint64_t> zlib_end(const QByteArray& bytes, std::uint64_t pos, deflate_kind kind)
{
    z_stream z{};
    if (inflateInit2(&z, window_bits_of(kind, 15)) != Z_OK)
        return std::nullopt;
    std::vector<unsigned char> out(1 << 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData() + pos));
    z.avail_in = static_cast<uInt>(bytes.size() - static_cast<qsizetype>(pos));
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
    }
    const std::uint64_t used = z.total_in;
    inflateEnd(&z);
    return rc == Z_STREAM_END ? std::optional<std::uint64_t>(pos + used) : std::nullopt;
}

std::optional<std::uint64_t> our_end(const QByteArray& bytes, std::uint64_t pos, deflate_kind kind)
{
    memory_device dev(std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end()), false);
    carve_reader r(dev, 0, static_cast<std::uint64_t>(bytes.size()), nullptr);
    return deflate_end(r, pos, kind);
}

std::string shown(const std::optional<std::uint64_t>& end)
{
    return end ? std::to_string(*end) : "none";
}

}  // namespace

// Streams of text, random bytes, both mixed, and nothing, from every strategy and window
// size of the encoder (stored, fixed and dynamic blocks, long matches, runs), each in the
// three wrappers, between random bytes: the end is zlib's to the byte. The same streams
// with a byte changed in their data or trailer, or cut off by the volume's end, end where
// zlib says too (mostly: nowhere).
TEST(stream_ends, deflate_ends_agree_with_zlib)
{
    rng g(77);
    QByteArray text;
    while (text.size() < 200000)
        text += "cluster " + QByteArray::number(static_cast<int>(g() % 5000)) + " of volume sector map\n";
    const QByteArray random = random_bytes(g, 150000);
    const QByteArray inputs[] = {text, random, text.left(70000) + random.left(90000) + text.left(30000), {}, "a"};
    const settings_s settings[] = {
        {0, Z_DEFAULT_STRATEGY, 15},
        {1, Z_DEFAULT_STRATEGY, 15},
        {6, Z_DEFAULT_STRATEGY, 15},
        {9, Z_DEFAULT_STRATEGY, 9},
        {6, Z_FILTERED, 12},
        {6, Z_HUFFMAN_ONLY, 15},
        {6, Z_RLE, 15},
        {6, Z_FIXED, 15},
        {9, Z_FIXED, 10},
    };
    for (const deflate_kind kind : {deflate_kind::raw, deflate_kind::zlib, deflate_kind::gzip}) {
        for (const QByteArray& input : inputs) {
            for (const settings_s& s : settings) {
                for (const bool extras : {false, true}) {
                    if (extras && kind != deflate_kind::gzip)
                        continue;
                    const QByteArray stream = compress(input, kind, s, extras);
                    const qsizetype lead = 1 + static_cast<qsizetype>(g() % 3000);
                    const QByteArray before = random_bytes(g, static_cast<int>(lead));
                    const QByteArray after = random_bytes(g, 5000);
                    const auto flipped = [&](qsizetype at) {
                        QByteArray b = stream;
                        b[at] = static_cast<char>(b[at] ^ (1 << (g() % 8)));
                        return b;
                    };
                    struct variant_s {
                        const char* what;
                        QByteArray bytes;
                        bool whole = false;
                    };
                    std::vector<variant_s> variants = {
                        {"whole", before + stream + after, true},
                        {"cut short at the volume's end", before + stream.left(stream.size() * 2 / 3)},
                        {"last byte changed", before + flipped(stream.size() - 1) + after},
                    };
                    if (stream.size() > 40)
                        variants.push_back({"data changed", before + flipped(stream.size() / 2) + after});
                    for (const variant_s& v : variants) {
                        SCOPED_TRACE(std::string(name_of(kind)) + " level " + std::to_string(s.level) + " strategy " +
                                     std::to_string(s.strategy) + " window " + std::to_string(s.bits) + " input " +
                                     std::to_string(input.size()) + (extras ? " with header extras, " : ", ") + v.what);
                        const auto expect = zlib_end(v.bytes, static_cast<std::uint64_t>(lead), kind);
                        const auto got = our_end(v.bytes, static_cast<std::uint64_t>(lead), kind);
                        EXPECT_EQ(shown(got), shown(expect));
                        if (v.whole) {
                            EXPECT_EQ(shown(got), shown(static_cast<std::uint64_t>(lead + stream.size())));
                        }
                    }
                }
            }
        }
    }
}
