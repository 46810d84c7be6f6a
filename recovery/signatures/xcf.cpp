// GIMP images (XCF), versions 0 to 13. Everything in the file is reached through
// pointers (file offsets, 32-bit before version 11, 64-bit from it): the header (magic,
// version, width, height, base type, the precision from version 4, image properties up to
// the end property, then zero-terminated lists of layer and channel pointers), each layer
// (size, type, name, properties, pointers to its pixel hierarchy and its mask channel),
// each channel (size, name, properties, hierarchy pointer), each hierarchy (size, bytes
// a pixel, zero-terminated level pointers), each level (size, zero-terminated tile
// pointers; only the first level holds tiles) and the tiles of 64 x 64 pixels. The file
// ends at the furthest byte of all of them. Tile data has no stated length: uncompressed
// tiles have width x height x bytes a pixel; RLE tiles are read op by op, one byte plane
// after the other, until each plane has its pixels; zlib tiles end where decoding them
// ends. Later versions, which add structures of their own, and unknown compressions are
// dropped rather than measured short.
#include <cstring>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

constexpr std::uint32_t prop_end = 0, prop_compression = 17;
constexpr std::uint32_t max_version = 13;
constexpr std::uint64_t tile_side = 64;
constexpr std::uint64_t max_list = 65536;     // layers, channels, levels or properties in one list
constexpr std::uint64_t max_work = 1u << 24;  // structures and tiles over the whole walk

struct xcf_walk {
    carve_reader& r;
    bool wide = false;
    unsigned compression = 0;
    std::uint64_t end = 0;
    std::uint64_t work = 0;

    bool extend(std::uint64_t at)
    {
        if (at > r.limit())
            return false;
        end = std::max(end, at);
        return true;
    }

    std::optional<std::uint64_t> pointer(std::uint64_t& at)
    {
        const auto v = wide ? r.be64(at) : std::optional<std::uint64_t>(r.be32(at));
        at += wide ? 8 : 4;
        if (!v || !extend(at) || *v >= r.limit())
            return std::nullopt;
        return v;
    }

    std::optional<std::uint32_t> u32(std::uint64_t& at)
    {
        const auto v = r.be32(at);
        at += 4;
        if (!v || !extend(at))
            return std::nullopt;
        return v;
    }

    // A list of properties up to the end property; the image's compression is noted.
    bool properties(std::uint64_t& at, bool image)
    {
        for (std::uint64_t n = 0; n < max_list; ++n) {
            const auto type = u32(at), length = u32(at);
            if (!type || !length)
                return false;
            if (*type == prop_end)
                return *length == 0;
            if (image && *type == prop_compression) {
                const auto c = r.u8(at);
                if (!c || *length != 1)
                    return false;
                compression = *c;
            }
            at += *length;
            if (!extend(at))
                return false;
        }
        return false;
    }

    bool string(std::uint64_t& at)
    {
        const auto n = u32(at);
        if (!n)
            return false;
        at += *n;
        return extend(at);
    }

    // Bytes one plane of an RLE tile takes to give `pixels` bytes.
    bool rle_plane(std::uint64_t& at, std::uint64_t pixels)
    {
        std::uint64_t done = 0;
        while (done < pixels) {
            const auto op = r.u8(at);
            if (!op)
                return false;
            std::uint64_t run = 0;
            if (*op <= 126) {
                run = *op + 1u;
                at += 2;
            } else if (*op == 127 || *op == 128) {
                const auto count = r.be16(at + 1);
                if (!count)
                    return false;
                run = *count;
                at += *op == 127 ? 4 : 3 + run;
            } else {
                run = 256u - *op;
                at += 1 + run;
            }
            done += run;
        }
        return done == pixels && extend(at);
    }

    bool tile(std::uint64_t at, std::uint64_t pixels, std::uint32_t bpp)
    {
        switch (compression) {
        case 0:
            return extend(at + pixels * bpp);
        case 1:
            for (std::uint32_t plane = 0; plane < bpp; ++plane) {
                if (!rle_plane(at, pixels))
                    return false;
            }
            return true;
        case 2: {
            const auto e = deflate_end(r, at, deflate_kind::zlib);
            return e && extend(*e);
        }
        default:
            return false;
        }
    }

    bool level(std::uint64_t at, std::uint32_t bpp)
    {
        const auto w = u32(at), h = u32(at);
        if (!w || !h)
            return false;
        const std::uint64_t cols = (*w + tile_side - 1) / tile_side, rows = (*h + tile_side - 1) / tile_side;
        for (std::uint64_t i = 0;; ++i) {
            const auto t = pointer(at);
            if (!t)
                return false;
            if (*t == 0)
                return true;
            if (i >= cols * rows || ++work > max_work)
                return false;
            const std::uint64_t tw = std::min<std::uint64_t>(tile_side, *w - (i % cols) * tile_side);
            const std::uint64_t th = std::min<std::uint64_t>(tile_side, *h - (i / cols) * tile_side);
            if (!tile(*t, tw * th, bpp))
                return false;
        }
    }

    // The levels after the first are placeholders that readers skip: a width, a height
    // and an empty tile list, whose end mark GIMP writes as 32 bits even where pointers
    // have 64.
    bool dummy_level(std::uint64_t at)
    {
        const auto w = u32(at), h = u32(at), mark = u32(at);
        return w && h && mark && *mark == 0;
    }

    bool hierarchy(std::uint64_t at)
    {
        const auto w = u32(at), h = u32(at), bpp = u32(at);
        if (!w || !h || !bpp || *bpp == 0 || *bpp > 32)
            return false;
        for (std::uint64_t n = 0; n < max_list; ++n) {
            const auto l = pointer(at);
            if (!l)
                return false;
            if (*l == 0)
                return n > 0;
            if (++work > max_work || !(n == 0 ? level(*l, *bpp) : dummy_level(*l)))
                return false;
        }
        return false;
    }

    bool channel(std::uint64_t at)
    {
        if (!u32(at) || !u32(at) || !string(at) || !properties(at, false))
            return false;
        const auto h = pointer(at);
        return h && *h != 0 && hierarchy(*h);
    }

    bool layer(std::uint64_t at)
    {
        if (!u32(at) || !u32(at) || !u32(at) || !string(at) || !properties(at, false))
            return false;
        const auto h = pointer(at), mask = h ? pointer(at) : std::nullopt;
        if (!h || !mask || *h == 0 || !hierarchy(*h))
            return false;
        return *mask == 0 || channel(*mask);
    }
};

std::optional<carve_result_s> xcf_size(carve_reader& r)
{
    char head[14];
    if (!r.read(0, head, sizeof head) || head[13] != '\0')
        return std::nullopt;
    std::uint32_t version = 0;
    if (std::memcmp(head + 9, "file", 4) != 0) {
        if (head[9] != 'v')
            return std::nullopt;
        for (int i = 10; i < 13; ++i) {
            if (head[i] < '0' || head[i] > '9')
                return std::nullopt;
            version = version * 10 + static_cast<std::uint32_t>(head[i] - '0');
        }
    }
    if (version > max_version)
        return std::nullopt;
    xcf_walk w{r, version >= 11, 0, sizeof head, 0};
    std::uint64_t at = sizeof head;
    const auto width = w.u32(at), height = w.u32(at), base = w.u32(at);
    if (!width || !height || !base || *width == 0 || *height == 0 || *base > 2)
        return std::nullopt;
    if (version >= 4 && !w.u32(at))
        return std::nullopt;
    if (!w.properties(at, true))
        return std::nullopt;
    std::uint64_t layers = 0;
    for (int list = 0; list < 2; ++list) {
        for (std::uint64_t n = 0;; ++n) {
            const auto p = w.pointer(at);
            if (!p || n >= max_list)
                return std::nullopt;
            if (*p == 0)
                break;
            if (list == 0 ? !w.layer(*p) : !w.channel(*p))
                return std::nullopt;
            layers += list == 0;
        }
    }
    if (layers == 0 || r.view(w.end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{w.end, nullptr};
}

}  // namespace

extern const signature_s xcf_signature{
    "xcf", "xcf", 1 * gib, {{0, sig_bytes("gimp xcf ")}}, xcf_size,
};
