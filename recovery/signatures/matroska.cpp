// Matroska and WebM: EBML elements, each an ID and a size written as variable-length
// integers (the count of leading zero bits of the first byte gives the length). The file
// is an EBML header (ID 1A45DFA3) whose DocType (ID 4282) is "matroska" or "webm", then a
// Segment (ID 18538067). The segment's children must be top-level elements known to the
// format and fill the segment's size exactly; the file ends with the segment. A segment
// of unknown size (all size bits set, as a live recording leaves it) has no end that can
// be checked and is dropped.
#include <string>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint32_t id_ebml = 0x1A45DFA3, id_doctype = 0x4282, id_segment = 0x18538067;

struct vint_s {
    std::uint64_t value;
    std::uint32_t length;
    bool unknown;  // every value bit set: "size unknown"
};

// An element ID keeps its marker bits; a size drops them.
std::optional<vint_s> vint(carve_reader& r, std::uint64_t at, bool keep_marker, std::uint32_t max_length)
{
    const auto first = r.u8(at);
    if (!first || *first == 0)
        return std::nullopt;
    std::uint32_t length = 1;
    while (!(*first & (0x80 >> (length - 1))))
        ++length;
    if (length > max_length)
        return std::nullopt;
    std::uint64_t value = keep_marker ? *first : (*first & (0xFF >> length));
    bool all_ones = (*first & (0xFF >> length)) == (0xFF >> length);
    for (std::uint32_t i = 1; i < length; ++i) {
        const auto b = r.u8(at + i);
        if (!b)
            return std::nullopt;
        value = value << 8 | *b;
        all_ones &= *b == 0xFF;
    }
    return vint_s{value, length, all_ones};
}

bool segment_child(std::uint64_t id)
{
    switch (id) {
    case 0x114D9B74:  // SeekHead
    case 0x1549A966:  // Info
    case 0x1654AE6B:  // Tracks
    case 0x1F43B675:  // Cluster
    case 0x1C53BB6B:  // Cues
    case 0x1941A469:  // Attachments
    case 0x1043A770:  // Chapters
    case 0x1254C367:  // Tags
    case 0xEC:        // Void
    case 0xBF:        // CRC-32
        return true;
    default:
        return false;
    }
}

std::optional<carve_result_s> matroska_size(carve_reader& r)
{
    const auto header_id = vint(r, 0, true, 4);
    const auto header_size = header_id ? vint(r, header_id->length, false, 8) : std::nullopt;
    if (!header_id || header_id->value != id_ebml || !header_size || header_size->unknown || header_size->value > 4096)
        return std::nullopt;
    const std::uint64_t body = header_id->length + header_size->length;
    const std::uint64_t header_end = body + header_size->value;
    std::string doctype;
    for (std::uint64_t at = body; at < header_end;) {
        const auto id = vint(r, at, true, 4);
        const auto size = id ? vint(r, at + id->length, false, 8) : std::nullopt;
        if (!id || !size || size->unknown || size->value > header_end - at)
            return std::nullopt;
        const std::uint64_t data = at + id->length + size->length;
        if (id->value == id_doctype && size->value <= 16) {
            doctype.resize(static_cast<std::size_t>(size->value));
            if (!r.read(data, doctype.data(), doctype.size()))
                return std::nullopt;
        }
        at = data + size->value;
        if (at > header_end)
            return std::nullopt;
    }
    while (!doctype.empty() && doctype.back() == '\0')
        doctype.pop_back();
    if (doctype != "matroska" && doctype != "webm")
        return std::nullopt;

    const auto seg_id = vint(r, header_end, true, 4);
    const auto seg_size = seg_id ? vint(r, header_end + seg_id->length, false, 8) : std::nullopt;
    if (!seg_id || seg_id->value != id_segment || !seg_size || seg_size->unknown)
        return std::nullopt;
    const std::uint64_t start = header_end + seg_id->length + seg_size->length;
    if (seg_size->value > r.limit() - std::min(r.limit(), start))
        return std::nullopt;
    const std::uint64_t end = start + seg_size->value;
    for (std::uint64_t at = start; at < end;) {
        const auto id = vint(r, at, true, 4);
        const auto size = id ? vint(r, at + id->length, false, 8) : std::nullopt;
        if (!id || !size || size->unknown || !segment_child(id->value))
            return std::nullopt;
        const std::uint64_t data = at + id->length + size->length;
        if (data > end || size->value > end - data)
            return std::nullopt;
        at = data + size->value;
    }
    if (r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, doctype == "webm" ? "webm" : nullptr};
}

}  // namespace

extern const signature_s matroska_signature{
    "mkv", "mkv", 16 * gib, {{0, sig_bytes("\x1A\x45\xDF\xA3")}}, matroska_size,
};
