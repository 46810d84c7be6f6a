#include "settings/language_line.h"

#include <vector>

namespace language_line {

namespace {

// "\s" of the classic locale. Bytes from 0x80 up are never blanks, so UTF-8 text is safe.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// What "." does not match.
bool is_line_end(char c)
{
    return c == '\n' || c == '\r';
}

std::size_t skip_blanks(std::string_view s, std::size_t from)
{
    while (from < s.size() && is_blank(s[from])) {
        ++from;
    }
    return from;
}

bool has_line_end(std::string_view s, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        if (is_line_end(s[i])) {
            return true;
        }
    }
    return false;
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = text.find(from, at)) != std::string_view::npos; at = hit + from.size()) {
        out.append(text.substr(at, hit - at));
        out.append(to);
    }
    out.append(text.substr(at));
    return out;
}

}  // namespace

std::optional<std::string> match_section(std::string_view s)
{
    // The leading blanks cannot give anything back: "[" is not a blank.
    const std::size_t open = skip_blanks(s, 0);
    if (open == s.size() || s[open] != '[') {
        return std::nullopt;
    }
    // Only blanks may follow the closing "]", so it can only be the last "]" of the line;
    // the name between may not hold a line end.
    const std::size_t close = s.rfind(']');
    if (close == std::string_view::npos || close < open || skip_blanks(s, close + 1) != s.size() ||
        has_line_end(s, open + 1, close)) {
        return std::nullopt;
    }
    return std::string(s.substr(open + 1, close - open - 1));
}

std::optional<entry_s> match_entry(std::string_view s)
{
    const std::size_t n = s.size();

    // The text's closing quote is followed by blanks only, so it is the last quote of the line.
    const std::size_t last_quote = s.rfind('"');
    if (last_quote == std::string_view::npos || skip_blanks(s, last_quote + 1) != n) {
        return std::nullopt;
    }

    // blank_end[i]: the first position from i on that is not a blank (n if none).
    // line_end[i]: the first position from i on that holds a line end (n if none).
    std::vector<std::size_t> blank_end(n + 2, n);
    std::vector<std::size_t> line_end(n + 2, n);
    for (std::size_t i = n; i-- > 0;) {
        blank_end[i] = is_blank(s[i]) ? blank_end[i + 1] : i;
        line_end[i] = is_line_end(s[i]) ? i : line_end[i + 1];
    }

    // The value part after an "=" at e: blanks, a quote, one or more bytes without a line
    // end, the last quote. Every step of it is forced, so it either fits or not.
    auto text_after = [&](std::size_t e) -> std::optional<std::string_view> {
        const std::size_t q = blank_end[e + 1];
        if (q >= n || s[q] != '"' || last_quote < q + 2 || line_end[q + 1] < last_quote) {
            return std::nullopt;
        }
        return s.substr(q + 1, last_quote - q - 1);
    };

    // Try the choices in the order in which a backtracking engine tries them: the most
    // leading blanks first, then the longest key. For one key end j, the blanks after it
    // must all be taken (an "=" is not a blank), so the "=" is fixed by j.
    const std::size_t lead = skip_blanks(s, 0);
    for (std::size_t k = lead + 1; k-- > 0;) {
        if (k >= n || s[k] == ';') {
            continue;
        }
        // [^;] takes s[k] whatever it is; ".*" then runs up to, at most, the next line end.
        for (std::size_t j = line_end[k + 1]; j > k; --j) {
            const std::size_t e = blank_end[j];
            if (e < n && s[e] == '=') {
                if (auto text = text_after(e)) {
                    return entry_s{std::string(s.substr(k, j - k)), std::string(*text)};
                }
            }
        }
    }
    return std::nullopt;
}

std::string expand_escapes(std::string_view text)
{
    return replace_all(replace_all(text, "\\t", "\t"), "\\n", "\n");
}

}  // namespace language_line
