// SQLite 3 database: a 100-byte header beginning "SQLite format 3\0". The page size is a
// big-endian 16-bit field at 16 (1 stands for 65536), the size in pages a 32-bit field at
// 28; that count is only valid when the "version-valid-for" number at 92 equals the change
// counter at 24 (files written before SQLite 3.7.0 lack it and are dropped). The payload
// fractions at 21 to 23 are fixed at 64, 32 and 32.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t page_size_at = 16, write_version = 18, read_version = 19, max_fraction = 21, min_fraction = 22,
                        leaf_fraction = 23, change_counter = 24, page_count = 28, valid_for = 92;

std::optional<carve_result_s> sqlite_size(carve_reader& r)
{
    std::uint8_t h[100];
    if (!r.read(0, h, sizeof h))
        return std::nullopt;
    const auto be32 = [&](std::uint64_t at) {
        return static_cast<std::uint32_t>(h[at]) << 24 | static_cast<std::uint32_t>(h[at + 1]) << 16 |
               static_cast<std::uint32_t>(h[at + 2]) << 8 | h[at + 3];
    };
    std::uint64_t page = static_cast<std::uint64_t>(h[page_size_at]) << 8 | h[page_size_at + 1];
    if (page == 1)
        page = 65536;
    if (page < 512 || (page & (page - 1)) != 0)
        return std::nullopt;
    if (h[write_version] < 1 || h[write_version] > 2 || h[read_version] < 1 || h[read_version] > 2 ||
        h[max_fraction] != 64 || h[min_fraction] != 32 || h[leaf_fraction] != 32)
        return std::nullopt;
    const std::uint32_t pages = be32(page_count);
    if (pages == 0 || be32(valid_for) != be32(change_counter))
        return std::nullopt;
    const std::uint64_t size = page * pages;
    if (r.view(size - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{size, nullptr};
}

}  // namespace

extern const signature_s sqlite_signature{
    "sqlite", "sqlite", 4 * gib, {{0, sig_bytes("SQLite format 3\0")}}, sqlite_size,
};
