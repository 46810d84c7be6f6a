// RAR archives, both formats. RAR 1.5 to 4.x: the marker block "Rar!" 1A 07 00, then
// blocks of a 7-byte header (CRC-16 = low half of the CRC-32 of the header from its type
// byte on, type, flags, header size), followed by data whose size is in the header when
// flag 8000 is set (with a high 32 bits for large files); the archive ends with the end
// block (type 7B). RAR 5: the signature "Rar!" 1A 07 01 00, then headers of a CRC-32, a
// variable-length header size, type, flags, optional extra and data sizes, and data; the
// archive ends with the end-of-archive header (type 5). Every header's CRC is checked.
// Archives with encrypted headers cannot be walked and are dropped.
#include <zlib.h>

#include <vector>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

std::optional<carve_result_s> rar4_size(carve_reader& r)
{
    constexpr std::uint8_t main_head = 0x73, file_head = 0x74, end_head = 0x7B;
    std::uint64_t pos = 7;
    for (bool first = true;; first = false) {
        const auto crc = r.le16(pos), flags = r.le16(pos + 3), size = r.le16(pos + 5);
        const auto type = r.u8(pos + 2);
        if (!crc || !type || !flags || !size || *size < 7 || *type < main_head || *type > end_head ||
            (first && *type != main_head))
            return std::nullopt;
        if (const auto c = crc32_of(r, pos + 2, *size - 2u); !c || (*c & 0xFFFF) != *crc)
            return std::nullopt;
        std::uint64_t data = 0;
        if (*flags & 0x8000) {
            const auto add = r.le32(pos + 7);
            if (!add)
                return std::nullopt;
            data = *add;
            if ((*type == file_head || *type == 0x7A) && (*flags & 0x100)) {
                const auto high = r.le32(pos + 32);
                if (!high)
                    return std::nullopt;
                data |= static_cast<std::uint64_t>(*high) << 32;
            }
        }
        pos += *size + data;
        if (*type == end_head)
            break;
    }
    if (r.view(pos - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{pos, nullptr};
}

// A RAR 5 variable-length number: 7 bits a byte, low first, high bit set on all but the
// last byte.
std::optional<std::uint64_t> vint(carve_reader& r, std::uint64_t& at)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 10; ++i) {
        const auto b = r.u8(at++);
        if (!b)
            return std::nullopt;
        v |= static_cast<std::uint64_t>(*b & 0x7F) << (7 * i);
        if (!(*b & 0x80))
            return v;
    }
    return std::nullopt;
}

std::optional<carve_result_s> rar5_size(carve_reader& r)
{
    constexpr std::uint64_t main_head = 1, encryption_head = 4, end_head = 5;
    std::uint64_t pos = 8;
    for (bool first = true;; first = false) {
        const auto crc = r.le32(pos);
        std::uint64_t at = pos + 4;
        const auto size = vint(r, at);
        if (!crc || !size || *size == 0 || *size > (2u << 20))
            return std::nullopt;
        const std::uint64_t header_end = at + *size;
        if (const auto c = crc32_of(r, pos + 4, header_end - (pos + 4)); !c || *c != *crc)
            return std::nullopt;
        const auto type = vint(r, at), flags = type ? vint(r, at) : std::nullopt;
        if (!type || !flags || *type == 0 || *type > end_head || *type == encryption_head ||
            (first && *type != main_head))
            return std::nullopt;
        if (*flags & 1) {
            if (!vint(r, at))
                return std::nullopt;
        }
        std::uint64_t data = 0;
        if (*flags & 2) {
            const auto d = vint(r, at);
            if (!d || *d > r.limit())
                return std::nullopt;
            data = *d;
        }
        if (at > header_end)
            return std::nullopt;
        pos = header_end + data;
        if (*type == end_head)
            break;
    }
    if (r.view(pos - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{pos, nullptr};
}

std::optional<carve_result_s> rar_size(carve_reader& r)
{
    const auto b6 = r.u8(6);
    if (!b6)
        return std::nullopt;
    if (*b6 == 0)
        return rar4_size(r);
    const auto b7 = r.u8(7);
    if (*b6 == 1 && b7 && *b7 == 0)
        return rar5_size(r);
    return std::nullopt;
}

}  // namespace

extern const signature_s rar_signature{
    "rar", "rar", 4 * gib, {{0, sig_bytes("Rar!\x1A\x07")}}, rar_size,
};
