// Ogg (Vorbis, Opus, Theora, FLAC in Ogg): a sequence of pages, each "OggS", version 0,
// a header-type byte (2: first page of a logical stream, 4: last page), granule position,
// stream serial number, page number, CRC-32 and a segment table whose lacing values sum to
// the page's data length. Every page's CRC (polynomial 04C11DB7, computed with the CRC
// field as zero) is checked. The file ends where the pages stop, and only once every
// stream that began in it has had its last page: a file cut short is dropped. Chained
// files (one set of streams after another) continue while pages follow.
#include <array>
#include <set>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t p_version = 4, p_type = 5, p_serial = 14, p_crc = 22, p_segments = 26, p_header = 27;
constexpr std::uint8_t flag_first = 2, flag_last = 4;

const std::array<std::uint32_t, 256>& crc_table()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k)
                c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* p, std::size_t n)
{
    const auto& t = crc_table();
    for (std::size_t i = 0; i < n; ++i)
        crc = (crc << 8) ^ t[((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

struct page_s {
    std::uint64_t length;
    std::uint8_t type;
    std::uint32_t serial;
};

// The page at pos, when it is complete and its CRC matches.
std::optional<page_s> read_page(carve_reader& r, std::uint64_t pos)
{
    std::uint8_t h[p_header + 255];
    if (!r.read(pos, h, p_header) || h[0] != 'O' || h[1] != 'g' || h[2] != 'g' || h[3] != 'S' || h[p_version] != 0)
        return std::nullopt;
    const std::size_t segments = h[p_segments];
    if (!r.read(pos + p_header, h + p_header, segments))
        return std::nullopt;
    std::uint64_t data = 0;
    for (std::size_t i = 0; i < segments; ++i)
        data += h[p_header + i];
    const std::uint32_t stored = static_cast<std::uint32_t>(h[p_crc]) | h[p_crc + 1] << 8 | h[p_crc + 2] << 16 |
                                 static_cast<std::uint32_t>(h[p_crc + 3]) << 24;
    for (int i = 0; i < 4; ++i)
        h[p_crc + i] = 0;
    std::uint32_t crc = crc_update(0, h, p_header + segments);
    std::uint64_t at = pos + p_header + segments;
    std::uint64_t left = data;
    while (left > 0) {
        const auto s = r.view(at, static_cast<std::size_t>(left));
        if (s.empty())
            return std::nullopt;
        crc = crc_update(crc, s.data(), s.size());
        at += s.size();
        left -= s.size();
    }
    if (crc != stored)
        return std::nullopt;
    const std::uint32_t serial = static_cast<std::uint32_t>(h[p_serial]) | h[p_serial + 1] << 8 |
                                 h[p_serial + 2] << 16 | static_cast<std::uint32_t>(h[p_serial + 3]) << 24;
    return page_s{p_header + segments + data, h[p_type], serial};
}

const char* extension_of(carve_reader& r)
{
    const auto segments = r.u8(p_segments);
    if (!segments)
        return nullptr;
    std::uint8_t id[8] = {};
    if (!r.read(p_header + *segments, id, sizeof id))
        return nullptr;
    const std::string_view s(reinterpret_cast<const char*>(id), sizeof id);
    if (s == "OpusHead")
        return "opus";
    if (s.substr(0, 7) == "\x80theora")
        return "ogv";
    return nullptr;
}

std::optional<carve_result_s> ogg_size(carve_reader& r)
{
    std::set<std::uint32_t> open;
    std::uint64_t pos = 0;
    bool first = true;
    for (;;) {
        const auto page = read_page(r, pos);
        if (!page)
            break;
        if (page->type & flag_first) {
            if (!open.insert(page->serial).second)
                return std::nullopt;
        } else if (!open.count(page->serial)) {
            if (first)
                return std::nullopt;
            break;  // a page of a stream that never began here: another file
        }
        if (page->type & flag_last)
            open.erase(page->serial);
        pos += page->length;
        first = false;
        if (open.empty()) {
            // All streams ended: a chained file goes on only with a new first page.
            const auto next = read_page(r, pos);
            if (!next || !(next->type & flag_first))
                break;
        }
    }
    if (first || !open.empty())
        return std::nullopt;
    return carve_result_s{pos, extension_of(r)};
}

}  // namespace

extern const signature_s ogg_signature{
    "ogg", "ogg", 4 * gib, {{0, sig_bytes("OggS\0\x02")}}, ogg_size,
};
