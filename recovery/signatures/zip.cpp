// ZIP and the formats stored as zip archives. The walk follows the archive from its first
// local file header: each local header (PK 3 4) with its name, extra field and data, then
// the central directory (PK 1 2 entries), an optional ZIP64 end record (PK 6 6) and
// locator (PK 6 7), and the end of central directory record (PK 5 6) with its comment,
// where the archive ends. The end record must count as many entries as were walked and
// point at the central directory where it was found.
//
// An entry written with a data descriptor (flag bit 3) may have no sizes in its local
// header: its data ends at a descriptor whose size field matches the distance walked and
// behind which the archive goes on; deflate data whose descriptor is not found so is
// decoded to find its end.
//
// Documents and packages are told apart by their entries: Office Open XML by
// [Content_Types].xml and its word/, xl/ or ppt/ folder; OpenDocument and EPUB by the
// text of their first entry "mimetype"; Android packages by AndroidManifest.xml with
// classes.dex; Java archives by META-INF/MANIFEST.MF.
#include <string>

#include "recovery/signatures/signature.h"
#include "recovery/signatures/stream_ends.h"

namespace {

constexpr std::uint32_t local_sig = 0x04034b50, central_sig = 0x02014b50, end_sig = 0x06054b50,
                        zip64_end_sig = 0x06064b50, zip64_locator_sig = 0x07064b50, descriptor_sig = 0x08074b50;

// Local file header fields.
constexpr std::uint64_t lh_flags = 6, lh_method = 8, lh_csize = 18, lh_usize = 22, lh_name_len = 26, lh_extra_len = 28,
                        lh_bytes = 30;
// Central directory entry fields.
constexpr std::uint64_t cd_name_len = 28, cd_extra_len = 30, cd_comment_len = 32, cd_bytes = 46;
// End of central directory fields.
constexpr std::uint64_t eocd_entries = 10, eocd_cd_offset = 16, eocd_comment_len = 20, eocd_bytes = 22;

struct kinds_s {
    bool content_types = false, word = false, xl = false, ppt = false;
    bool android_manifest = false, dex = false, manifest = false;
    std::string mimetype;
};

void note_name(kinds_s& k, const std::string& name)
{
    const auto starts = [&](const char* p) { return name.rfind(p, 0) == 0; };
    k.content_types |= name == "[Content_Types].xml";
    k.word |= starts("word/");
    k.xl |= starts("xl/");
    k.ppt |= starts("ppt/");
    k.android_manifest |= name == "AndroidManifest.xml";
    k.dex |= name == "classes.dex";
    k.manifest |= name == "META-INF/MANIFEST.MF";
}

const char* extension_of(const kinds_s& k)
{
    if (k.mimetype == "application/vnd.oasis.opendocument.text")
        return "odt";
    if (k.mimetype == "application/vnd.oasis.opendocument.spreadsheet")
        return "ods";
    if (k.mimetype == "application/vnd.oasis.opendocument.presentation")
        return "odp";
    if (k.mimetype == "application/epub+zip")
        return "epub";
    if (k.content_types && k.word)
        return "docx";
    if (k.content_types && k.xl)
        return "xlsx";
    if (k.content_types && k.ppt)
        return "pptx";
    if (k.android_manifest && k.dex)
        return "apk";
    if (k.manifest)
        return "jar";
    return nullptr;
}

// The sizes from a ZIP64 extra field (id 1), present for the local sizes that read as
// 0xFFFFFFFF: the uncompressed size first, then the compressed size.
bool zip64_sizes(carve_reader& r, std::uint64_t extra, std::uint64_t len, std::uint64_t& csize)
{
    std::uint64_t at = extra;
    while (at + 4 <= extra + len) {
        const auto id = r.le16(at), n = r.le16(at + 2);
        if (!id || !n)
            return false;
        if (*id == 1 && *n >= 16) {
            const auto c = r.le64(at + 4 + 8);
            if (!c)
                return false;
            csize = *c;
            return true;
        }
        at += 4 + *n;
    }
    return false;
}

// Where an entry's deflate data with a data descriptor ends, found from the descriptor
// rather than by decoding: a descriptor signature whose compressed size is its distance
// from the data, with the next local header or the central directory right behind it. A
// false match needs 12 bytes of compressed data to agree with it by chance. Looked for only
// so far ahead; a descriptor written without its signature, or further away, is found by
// decoding.
std::optional<std::uint64_t> signed_descriptor_at(carve_reader& r, std::uint64_t data, bool zip64)
{
    constexpr std::uint64_t search_bytes = 16 * mib;
    const std::uint64_t to = data + std::min(search_bytes, r.limit() - std::min(r.limit(), data));
    const std::uint64_t sizes = zip64 ? 16 : 8;
    for (std::uint64_t from = data;;) {
        const auto hit = r.find(from, to, "PK\x07\x08");
        if (!hit)
            return std::nullopt;
        from = *hit + 1;
        const std::uint64_t csize_at = *hit + 8;
        const std::uint64_t csize = zip64 ? r.le64(csize_at).value_or(~0ull) : r.le32(csize_at).value_or(~0u);
        const auto next = r.le32(*hit + 8 + sizes);
        if (csize == *hit - data && next && (*next == local_sig || *next == central_sig))
            return *hit;
    }
}

// The end of an entry's data written with a data descriptor, and the descriptor's length.
std::optional<std::uint64_t> descriptor_end(carve_reader& r, std::uint64_t data, std::uint16_t method, bool zip64)
{
    std::uint64_t end = 0;
    if (method == 8) {
        auto e = signed_descriptor_at(r, data, zip64);
        if (!e)
            e = deflate_end(r, data, deflate_kind::raw);
        if (!e)
            return std::nullopt;
        end = *e;
    } else if (method == 0) {
        // Stored data has no end of its own: the descriptor whose size matches is its end.
        std::uint64_t from = data;
        for (;;) {
            const auto hit = r.find(from, r.limit(), "PK\x07\x08");
            if (!hit)
                return std::nullopt;
            const auto c = r.le32(*hit + 8);
            if (c && *c == static_cast<std::uint32_t>(*hit - data)) {
                end = *hit;
                break;
            }
            from = *hit + 1;
        }
    } else {
        return std::nullopt;
    }
    std::uint64_t at = end;
    const auto sig = r.le32(at);
    if (sig && *sig == descriptor_sig)
        at += 4;
    const auto csize = zip64 ? r.le64(at + 4) : std::optional<std::uint64_t>(r.le32(at + 4));
    if (!csize || *csize != end - data)
        return std::nullopt;
    return at + (zip64 ? 20 : 12);
}

std::optional<carve_result_s> zip_size(carve_reader& r)
{
    kinds_s kinds;
    std::uint64_t pos = 0;
    std::uint64_t local_count = 0;
    for (;;) {
        const auto sig = r.le32(pos);
        if (!sig)
            return std::nullopt;
        if (*sig != local_sig)
            break;
        const auto flags = r.le16(pos + lh_flags), method = r.le16(pos + lh_method);
        const auto csize32 = r.le32(pos + lh_csize), usize32 = r.le32(pos + lh_usize);
        const auto name_len = r.le16(pos + lh_name_len), extra_len = r.le16(pos + lh_extra_len);
        if (!flags || !method || !csize32 || !usize32 || !name_len || !extra_len || *name_len == 0)
            return std::nullopt;
        std::string name(*name_len, '\0');
        if (!r.read(pos + lh_bytes, name.data(), name.size()))
            return std::nullopt;
        const std::uint64_t extra = pos + lh_bytes + *name_len;
        const std::uint64_t data = extra + *extra_len;
        std::uint64_t csize = *csize32;
        const bool zip64 = *csize32 == 0xFFFFFFFFu || *usize32 == 0xFFFFFFFFu;
        if (zip64 && !zip64_sizes(r, extra, *extra_len, csize))
            return std::nullopt;
        note_name(kinds, name);
        if (local_count == 0 && name == "mimetype" && *method == 0 && csize < 128) {
            std::string text(static_cast<std::size_t>(csize), '\0');
            if (r.read(data, text.data(), text.size()))
                kinds.mimetype = text;
        }
        if ((*flags & 8) && (csize == 0 || *method == 8)) {
            const auto next = descriptor_end(r, data, *method, zip64);
            if (!next)
                return std::nullopt;
            pos = *next;
        } else {
            pos = data + csize;
        }
        ++local_count;
    }
    if (local_count == 0)
        return std::nullopt;

    const std::uint64_t cd_start = pos;
    std::uint64_t cd_count = 0;
    for (;;) {
        const auto sig = r.le32(pos);
        if (!sig || *sig != central_sig)
            break;
        const auto n = r.le16(pos + cd_name_len), x = r.le16(pos + cd_extra_len), c = r.le16(pos + cd_comment_len);
        if (!n || !x || !c)
            return std::nullopt;
        pos += cd_bytes + *n + *x + *c;
        ++cd_count;
    }
    if (cd_count != local_count)
        return std::nullopt;
    auto sig = r.le32(pos);
    if (sig && *sig == zip64_end_sig) {
        const auto record = r.le64(pos + 4);
        if (!record || *record < 44 || *record > r.limit())
            return std::nullopt;
        pos += 12 + *record;
        sig = r.le32(pos);
    }
    if (sig && *sig == zip64_locator_sig) {
        pos += 20;
        sig = r.le32(pos);
    }
    if (!sig || *sig != end_sig)
        return std::nullopt;
    const auto entries = r.le16(pos + eocd_entries), comment = r.le16(pos + eocd_comment_len);
    const auto cd_offset = r.le32(pos + eocd_cd_offset);
    if (!entries || !cd_offset || !comment)
        return std::nullopt;
    if (*entries != 0xFFFF && *entries != (cd_count & 0xFFFF))
        return std::nullopt;
    if (*cd_offset != 0xFFFFFFFFu && *cd_offset != static_cast<std::uint32_t>(cd_start))
        return std::nullopt;
    const std::uint64_t end = pos + eocd_bytes + *comment;
    if (r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, extension_of(kinds)};
}

}  // namespace

extern const signature_s zip_signature{
    "zip", "zip", 4 * gib, {{0, sig_bytes("PK\x03\x04")}}, zip_size,
};
