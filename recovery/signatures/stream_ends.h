#pragma once
// Where a compressed stream ends. Deflate data is run through ISA-L's decoder and the
// output discarded: nothing but decoding finds its end. The output is capped, so a stream that
// would expand without end (a decompression bomb) counts as not checking out.
#include <cstdint>
#include <optional>

#include "recovery/signatures/signature.h"

// Kinds of deflate data: raw (inside zip), zlib-wrapped, or a gzip member with its
// trailer (CRC-32 and length, both checked by the decoder).
enum class deflate_kind { raw, zlib, gzip };

// The offset just past the stream that starts at pos; nullopt when the data is not a
// complete, valid stream.
std::optional<std::uint64_t> deflate_end(carve_reader& r, std::uint64_t pos, deflate_kind kind);

// bzip2 and xz streams carry enough structure to find their ends without decoding: bzip2's
// block and end marks with the CRCs behind them (the combined CRC at the end must match the
// blocks'), xz's footer, index and block headers, each with its CRC. A stream whose data is
// damaged inside a block but whose structure holds is therefore reported whole. A bzip2
// stream whose marks do not add up is decoded as a last resort.
std::optional<std::uint64_t> bzip2_end(carve_reader& r, std::uint64_t pos);
std::optional<std::uint64_t> xz_end(carve_reader& r, std::uint64_t pos);

// The end as libbz2 finds it, verifying the data as well.
std::optional<std::uint64_t> bzip2_decoded_end(carve_reader& r, std::uint64_t pos);

// The CRC-32 (as zlib and gzip compute it) of n bytes at `at`; nullopt when they are not all there.
std::optional<std::uint32_t> crc32_of(carve_reader& r, std::uint64_t at, std::uint64_t n);

// Decompressed bytes past which a stream is given up.
constexpr std::uint64_t max_expanded_bytes = 16 * gib;
