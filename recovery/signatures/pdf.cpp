// PDF: "%PDF-" and, at the end, "startxref", the byte offset of the last cross-reference
// section, and "%%EOF". A file may hold several such ends: incremental updates append
// objects, a new xref and a new %%EOF; linearized files have a first-page xref near the
// start. So an end counts only when the startxref just before it points at an xref table
// ("xref") or an xref stream ("N G obj") inside the file, and the file ends at such a
// %%EOF unless what follows it is more PDF (another object or xref section).
#include <cctype>
#include <string>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t tail_window = 1024;  // how far before %%EOF its startxref may stand

bool is_space(std::uint8_t c)
{
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}

// "xref", or an indirect object header "N G obj", at the start of text.
bool section_start(std::string_view text)
{
    if (text.substr(0, 4) == "xref")
        return true;
    std::size_t i = 0;
    for (int number = 0; number < 2; ++number) {
        const std::size_t digits = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i == digits || i - digits > 10)
            return false;
        const std::size_t spaces = i;
        while (i < text.size() && is_space(static_cast<std::uint8_t>(text[i])))
            ++i;
        if (i == spaces)
            return false;
    }
    return text.substr(i, 3) == "obj";
}

std::string text_at(carve_reader& r, std::uint64_t off, std::size_t n)
{
    const auto s = r.view(off, n);
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

// Whether the %%EOF at eof closes a complete revision: its startxref names a section.
bool verified_end(carve_reader& r, std::uint64_t eof)
{
    const std::uint64_t from = eof > tail_window ? eof - tail_window : 0;
    const std::string tail = text_at(r, from, static_cast<std::size_t>(eof - from));
    const std::size_t key = tail.rfind("startxref");
    if (key == std::string::npos)
        return false;
    std::size_t i = key + 9;
    while (i < tail.size() && is_space(static_cast<std::uint8_t>(tail[i])))
        ++i;
    std::uint64_t target = 0;
    const std::size_t digits = i;
    while (i < tail.size() && std::isdigit(static_cast<unsigned char>(tail[i])) && i - digits < 19)
        target = target * 10 + static_cast<std::uint64_t>(tail[i++] - '0');
    if (i == digits || target == 0 || target >= from + key)
        return false;
    return section_start(text_at(r, target, 32));
}

std::optional<carve_result_s> pdf_size(carve_reader& r)
{
    std::uint64_t pos = 5;
    std::optional<std::uint64_t> end;
    for (;;) {
        const auto eof = r.find(pos, r.limit(), "%%EOF");
        if (!eof)
            return std::nullopt;  // no complete end, or an update after the last one is cut short
        pos = *eof + 5;
        if (!verified_end(r, *eof))
            continue;
        std::uint64_t stop = pos;
        // One end-of-line marker belongs to the file.
        const std::string eol = text_at(r, stop, 2);
        if (eol.substr(0, 2) == "\r\n")
            stop += 2;
        else if (!eol.empty() && (eol[0] == '\n' || eol[0] == '\r'))
            stop += 1;
        end = stop;
        std::string after = text_at(r, stop, 64);
        std::size_t skip = 0;
        while (skip < after.size() && is_space(static_cast<std::uint8_t>(after[skip])) && skip < 16)
            ++skip;
        if (!section_start(after.substr(skip)))
            return carve_result_s{*end, nullptr};
    }
}

}  // namespace

extern const signature_s pdf_signature{
    "pdf", "pdf", 512 * mib, {{0, sig_bytes("%PDF-")}}, pdf_size,
};
