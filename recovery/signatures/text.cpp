// Plain text (ASCII or UTF-8): prose, source code, scripts, CSV, JSON, XML, HTML, ...
// Text has no header, so a candidate is any sector that begins with text while the sector
// before it does not hold text throughout (else the text began earlier, and this sector
// is its middle); the sector's first bytes must be text without exception. The file ends
// at its first NUL byte or where a run of bytes that are not text begins (control
// characters, bytes outside valid UTF-8 sequences); a single such byte between text, as a
// Latin-1 letter or a terminal escape, is passed over.
// A text shorter than a few dozen bytes, or without letters and a little variety (a
// stretch of spaces used as padding), is not a file. Sectors that begin with another
// format's header belong to that format and are never taken for text. The extension
// says what the text looks like: sh for "#!" scripts, html, xml, json, csv, else txt.
#include <algorithm>
#include <array>
#include <cstring>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t min_text = 32;    // shorter runs of text are not taken for files
constexpr std::size_t start_bytes = 32;   // how much of a sector must be text to start one
constexpr std::size_t look_bytes = 1024;  // what the extension is judged from, at each end
constexpr unsigned max_stray = 2;         // non-text bytes in a row that end the text

// Byte classes: 0 not text, 1 text on its own, 2..4 the first byte of a UTF-8 sequence of
// that many bytes. Control characters other than tab, line feed, form feed and carriage
// return are not text, nor is DEL.
constexpr std::array<std::uint8_t, 256> byte_classes()
{
    std::array<std::uint8_t, 256> c{};
    for (int b = 0x20; b < 0x7F; ++b)
        c[b] = 1;
    c['\t'] = c['\n'] = c['\f'] = c['\r'] = 1;
    for (int b = 0xC2; b <= 0xDF; ++b)
        c[b] = 2;
    for (int b = 0xE0; b <= 0xEF; ++b)
        c[b] = 3;
    for (int b = 0xF0; b <= 0xF4; ++b)
        c[b] = 4;
    return c;
}
constexpr std::array<std::uint8_t, 256> classes = byte_classes();

// The length of the character at s[i], 0 when it is not text, or -1 when s ends inside a
// UTF-8 sequence that is valid so far. Overlong forms, surrogates and code points past
// U+10FFFF are not text.
int char_length(std::span<const std::uint8_t> s, std::size_t i)
{
    const std::uint8_t b = s[i];
    const int n = classes[b];
    if (n <= 1)
        return n;
    for (int k = 1; k < n; ++k) {
        if (i + k >= s.size())
            return -1;
        const std::uint8_t c = s[i + k];
        std::uint8_t low = 0x80, high = 0xBF;
        if (k == 1) {
            if (b == 0xE0)
                low = 0xA0;
            else if (b == 0xED)
                high = 0x9F;
            else if (b == 0xF0)
                low = 0x90;
            else if (b == 0xF4)
                high = 0x8F;
        }
        if (c < low || c > high)
            return 0;
    }
    return n;
}

// How many bytes from the start of s are text; a sequence cut by the end of s counts.
std::size_t text_prefix(std::span<const std::uint8_t> s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const int n = char_length(s, i);
        if (n == 0)
            break;
        if (n < 0)
            return s.size();
        i += static_cast<std::size_t>(n);
    }
    return i;
}

bool text_starts(std::span<const std::uint8_t> sector, std::span<const std::uint8_t> previous)
{
    if (sector.size() < start_bytes || classes[sector[0]] == 0)
        return false;
    if (text_prefix(sector.first(start_bytes)) < start_bytes)
        return false;
    return previous.empty() || text_prefix(previous) < previous.size();
}

bool starts_with(std::string_view text, std::string_view prefix, bool any_case = false)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (any_case && a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

bool contains_any_case(std::string_view text, std::string_view needle)
{
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (starts_with(text.substr(i), needle, true))
            return true;
    }
    return false;
}

// Comma-separated values: at least two lines of the head, each with the same count of
// commas, at least one. The last line of the head may be cut, so it is not counted.
bool looks_like_csv(std::string_view head, bool whole)
{
    std::size_t lines = 0, commas = 0;
    while (!head.empty()) {
        const std::size_t nl = head.find('\n');
        if (nl == std::string_view::npos && !whole)
            break;
        const std::string_view line = head.substr(0, nl);
        const auto n = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        if (n == 0 || (lines > 0 && n != commas))
            return false;
        commas = n;
        ++lines;
        if (nl == std::string_view::npos || lines == 5)
            break;
        head.remove_prefix(nl + 1);
    }
    return lines >= 2;
}

const char* text_extension(std::string_view head, std::string_view tail, bool whole)
{
    if (starts_with(head, "\xEF\xBB\xBF"))
        head.remove_prefix(3);
    if (starts_with(head, "#!"))
        return "sh";
    const auto not_space = [](char c) { return c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f'; };
    const auto first = std::find_if(head.begin(), head.end(), not_space);
    const auto last = std::find_if(tail.rbegin(), tail.rend(), not_space);
    if (first == head.end() || last == tail.rend())
        return "txt";
    head.remove_prefix(static_cast<std::size_t>(first - head.begin()));
    if (starts_with(head, "<!doctype html", true) || starts_with(head, "<html", true) ||
        (*first == '<' && contains_any_case(head, "<html")))
        return "html";
    if (*first == '<' && *last == '>')
        return "xml";
    if ((*first == '{' && *last == '}') || (*first == '[' && *last == ']'))
        return "json";
    if (looks_like_csv(head, whole))
        return "csv";
    return "txt";
}

std::optional<carve_result_s> text_size(carve_reader& r)
{
    std::uint64_t pos = 0;
    std::uint64_t end = 0;  // just behind the last text character
    unsigned stray = 0;     // non-text bytes in a row since then
    std::uint64_t letters = 0;
    std::array<bool, 128> seen{};
    std::size_t distinct = 0;
    bool ended = false;
    while (!ended) {
        const std::span<const std::uint8_t> s = r.view(pos, carve_reader::window_bytes);
        if (s.empty())
            break;  // the limit: the text runs on to the volume's end or the type's maximum
        std::size_t i = 0;
        while (i < s.size()) {
            const std::uint8_t b = s[i];
            int n = classes[b];
            if (n == 1) {
                letters += (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
                if (!seen[b]) {
                    seen[b] = true;
                    ++distinct;
                }
            } else if (b == 0) {
                ended = true;
                break;
            } else if (n > 1) {
                n = char_length(s, i);
                if (n < 0 && s.size() == carve_reader::window_bytes)
                    break;  // the sequence goes on past this view: read it from its first byte
                letters += n > 0;
            }
            if (n <= 0) {
                // One stray byte (a Latin-1 letter, an escape) is passed over; a run of
                // them is where the text ends.
                if (++stray == max_stray) {
                    ended = true;
                    break;
                }
                ++i;
                continue;
            }
            i += static_cast<std::size_t>(n);
            end = pos + i;
            stray = 0;
        }
        pos += i;
        if (s.size() < carve_reader::window_bytes && i == s.size())
            break;
    }
    if (r.failed() || end < min_text || letters < 8 || distinct < 4)
        return std::nullopt;
    char head[look_bytes], tail[look_bytes];
    const std::size_t look = static_cast<std::size_t>(std::min<std::uint64_t>(end, look_bytes));
    if (!r.read(0, head, look) || !r.read(end - look, tail, look))
        return std::nullopt;
    return carve_result_s{end, text_extension(std::string_view(head, look), std::string_view(tail, look), look == end)};
}

}  // namespace

extern const signature_s text_signature{
    "txt", "txt", 64 * mib, {}, text_size, text_starts,
};
