// TIFF (and the camera raw formats built on it): a byte-order mark "II" or "MM", 42, and
// the offset of the first image file directory (IFD). Each IFD holds a count, 12-byte
// entries (tag, type, count, value or offset of the value) and the offset of the next IFD.
// TIFF states no file length: the file ends at the furthest byte anything points at, that
// is every IFD, every value stored outside its entry, and every strip or tile (offsets
// from tags 273/324, lengths from 279/325), and the JPEG image of tags 513/514 (offset and
// length), where camera raw files (NEF, CR2, DNG, ARW, ...) keep their previews, often at
// the file's end. Sub-IFDs (330) and the Exif IFD (34665) are followed too. The IFDs
// visited are remembered and bounded, so a loop of IFDs ends.
#include <set>
#include <vector>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint16_t tag_strip_offsets = 273, tag_strip_counts = 279, tag_tile_offsets = 324, tag_tile_counts = 325,
                        tag_sub_ifds = 330, tag_jpeg_offset = 513, tag_jpeg_length = 514, tag_exif_ifd = 34665;
constexpr std::size_t max_ifds = 256;
constexpr std::uint32_t max_values = 1u << 20;
// Entries and values read over the whole walk: a hostile file of many large IFDs full of
// long arrays would otherwise take very long to read.
constexpr std::uint64_t max_work = 1u << 22;

std::uint32_t type_bytes(std::uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

struct tiff_walk {
    carve_reader& r;
    bool big;
    std::uint64_t end = 8;
    std::set<std::uint64_t> seen;
    std::vector<std::uint64_t> pending;
    bool pixels = false;
    std::uint64_t work = 0;

    std::optional<std::uint32_t> u16(std::uint64_t at)
    {
        auto v = big ? r.be16(at) : r.le16(at);
        return v ? std::optional<std::uint32_t>(*v) : std::nullopt;
    }
    std::optional<std::uint32_t> u32(std::uint64_t at) { return big ? r.be32(at) : r.le32(at); }

    bool extend(std::uint64_t off, std::uint64_t len)
    {
        if (off > r.limit() || len > r.limit() - off)
            return false;
        end = std::max(end, off + len);
        return true;
    }

    // The values of an entry of SHORT or LONG type, at most max_values of them.
    std::optional<std::vector<std::uint64_t>> values(std::uint64_t entry, std::uint16_t type, std::uint32_t count)
    {
        const std::uint32_t size = type_bytes(type);
        work += count;
        if ((type != 3 && type != 4 && type != 13) || count > max_values || work > max_work)
            return std::nullopt;
        std::uint64_t at = entry + 8;
        if (static_cast<std::uint64_t>(size) * count > 4) {
            const auto off = u32(entry + 8);
            if (!off)
                return std::nullopt;
            at = *off;
        }
        std::vector<std::uint64_t> out;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto v = size == 2 ? u16(at + 2 * i) : u32(at + 4 * i);
            if (!v)
                return std::nullopt;
            out.push_back(*v);
        }
        return out;
    }

    bool ifd(std::uint64_t at)
    {
        const auto count = u16(at);
        if (!count || *count == 0 || !extend(at, 2 + 12 * static_cast<std::uint64_t>(*count) + 4))
            return false;
        work += *count;
        if (work > max_work)
            return false;
        std::vector<std::uint64_t> offsets, counts, jpeg_offset, jpeg_length;
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::uint64_t e = at + 2 + 12 * i;
            const auto tag = u16(e), type = u16(e + 2);
            const auto n = u32(e + 4);
            if (!tag || !type || !n)
                return false;
            const std::uint32_t size = type_bytes(static_cast<std::uint16_t>(*type));
            if (size == 0)
                continue;  // a type this reader does not know: its value cannot be placed
            const std::uint64_t bytes = static_cast<std::uint64_t>(size) * *n;
            if (bytes > 4) {
                const auto off = u32(e + 8);
                if (!off || !extend(*off, bytes))
                    return false;
            }
            if (*tag == tag_strip_offsets || *tag == tag_tile_offsets || *tag == tag_strip_counts ||
                *tag == tag_tile_counts || *tag == tag_sub_ifds || *tag == tag_exif_ifd || *tag == tag_jpeg_offset ||
                *tag == tag_jpeg_length) {
                auto v = values(e, static_cast<std::uint16_t>(*type), *n);
                if (!v)
                    return false;
                if (*tag == tag_strip_offsets || *tag == tag_tile_offsets)
                    offsets = std::move(*v);
                else if (*tag == tag_strip_counts || *tag == tag_tile_counts)
                    counts = std::move(*v);
                else if (*tag == tag_jpeg_offset)
                    jpeg_offset = std::move(*v);
                else if (*tag == tag_jpeg_length)
                    jpeg_length = std::move(*v);
                else
                    pending.insert(pending.end(), v->begin(), v->end());
            }
        }
        if (offsets.size() != counts.size() || jpeg_offset.size() > 1 || jpeg_length.size() > 1)
            return false;
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            if (!extend(offsets[i], counts[i]))
                return false;
        }
        pixels |= !offsets.empty();
        // An offset without its length (as some old writers leave it) places nothing.
        if (!jpeg_offset.empty() && !jpeg_length.empty()) {
            if (!extend(jpeg_offset[0], jpeg_length[0]))
                return false;
            pixels = true;
        }
        const auto next = u32(at + 2 + 12 * static_cast<std::uint64_t>(*count));
        if (!next)
            return false;
        if (*next != 0)
            pending.push_back(*next);
        return true;
    }
};

std::optional<carve_result_s> tiff_size(carve_reader& r)
{
    const auto order = r.u8(0);
    if (!order)
        return std::nullopt;
    tiff_walk w{r, *order == 'M', 8, {}, {}, false, 0};
    const auto first = w.u32(4);
    if (!first || *first < 8)
        return std::nullopt;
    w.pending.push_back(*first);
    while (!w.pending.empty()) {
        const std::uint64_t at = w.pending.back();
        w.pending.pop_back();
        if (at < 8 || (at & 1) || !w.seen.insert(at).second)
            continue;
        if (w.seen.size() > max_ifds || !w.ifd(at))
            return std::nullopt;
    }
    if (!w.pixels || r.view(w.end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{w.end, nullptr};
}

}  // namespace

extern const signature_s tiff_signature{
    "tif", "tif", 1 * gib, {{0, sig_bytes("II*\0")}, {0, sig_bytes("MM\0*")}}, tiff_size,
};
