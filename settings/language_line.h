#pragma once
// The two kinds of line of the localisation file. A line is a piece as the reader hands it
// over (settings/language_file.h): raw UTF-8 bytes, with its line feed when it has one.
//
// The lines are defined by two ECMAScript patterns over bytes, "\s" being the blank
// characters of the classic locale and "." any byte but a line feed or carriage return:
//
//   section header: ^\s*\[(.*)\]\s*$
//   entry:          ^\s*([^;].*)\s*=\s*"(.+)"\s*$
//
// A backtracking regular-expression engine needs cubic time for the entry pattern on a line
// of blanks (a 2047-byte piece of spaces takes most of a minute with std::regex), so the
// matchers below find the very groups that such an engine finds, in its order of
// preference, in at most quadratic time and without recursion.
#include <optional>
#include <string>
#include <string_view>

namespace language_line {

inline constexpr char section_pattern[] = R"re(^\s*\[(.*)\]\s*$)re";
inline constexpr char entry_pattern[] = R"re(^\s*([^;].*)\s*=\s*"(.+)"\s*$)re";

struct entry_s {
    std::string key;   // up to the "=", blanks before it included
    std::string text;  // between the first quote after the "=" and the last quote; never empty
};

// The section name: everything between the first "[" and the last "]", untrimmed.
std::optional<std::string> match_section(std::string_view line);

std::optional<entry_s> match_entry(std::string_view line);

// The two escapes of an entry's text: backslash-t becomes a tab, then backslash-n a line break.
std::string expand_escapes(std::string_view text);

}  // namespace language_line
