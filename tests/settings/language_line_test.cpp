// The line matchers against the two patterns run by std::regex.
#include "settings/language_line.h"

#include <gtest/gtest.h>

#include <locale>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

std::regex classic_regex(const char* pattern)
{
    std::regex re;
    re.imbue(std::locale::classic());
    re.assign(pattern, std::regex::ECMAScript);
    return re;
}

std::string escaped(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

// What differs between the matchers and std::regex on one line; empty when nothing does.
std::string difference(const std::string& line, const std::regex& section, const std::regex& entry)
{
    std::smatch m;
    const auto s = language_line::match_section(line);
    if (std::regex_match(line, m, section) != s.has_value() || (s && *s != m[1].str())) {
        return "section differs on \"" + escaped(line) + "\"";
    }
    const auto e = language_line::match_entry(line);
    if (std::regex_match(line, m, entry) != e.has_value() || (e && (e->key != m[1].str() || e->text != m[2].str()))) {
        return "entry differs on \"" + escaped(line) + "\"";
    }
    return {};
}

}  // namespace

TEST(localisation_line, matchers_agree_with_the_patterns)
{
    const std::regex section = classic_regex(language_line::section_pattern);
    const std::regex entry = classic_regex(language_line::entry_pattern);

    // Every line of up to five bytes over the bytes that the patterns care about.
    const std::string small = " \t\n\r;=\"[]a";
    std::vector<std::string> lines{""};
    for (std::size_t begin = 0, length = 1; length <= 5; ++length) {
        const std::size_t end = lines.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (char c : small) {
                lines.push_back(lines[i] + c);
            }
        }
        begin = end;
    }
    for (const std::string& line : lines) {
        ASSERT_EQ(difference(line, section, entry), "");
    }

    // Longer lines, also with the other classic blanks and bytes that are blanks only in
    // other locales or encodings (0x85, 0xA0) or start UTF-8 sequences.
    const std::string wide = " \t\n\r\v\f;;==\"\"\"[[]]ab\x85\xA0\xC3\xA9";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, wide.size() - 1);
    std::uniform_int_distribution<int> length(6, 24);
    for (int n = 0; n < 20000; ++n) {
        std::string line;
        for (int i = length(random); i > 0; --i) {
            line += wide[pick(random)];
        }
        ASSERT_EQ(difference(line, section, entry), "");
    }
}

TEST(localisation_line, groups)
{
    EXPECT_EQ(language_line::match_section("  [ Deutsch ] ]\t\n"), " Deutsch ] ");
    EXPECT_EQ(language_line::match_section("[]\n"), "");
    EXPECT_FALSE(language_line::match_section("[English] x\n"));
    EXPECT_FALSE(language_line::match_section("\xEF\xBB\xBF[English]\n"));

    const auto e = language_line::match_entry("  key = \t\"a \"b\" c\"  \n");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->key, "key ");
    EXPECT_EQ(e->text, "a \"b\" c");

    EXPECT_EQ(language_line::expand_escapes("a\\tb\\nc\\r\\\\t"), "a\tb\nc\\r\\\t");
}

TEST(localisation_line, blank_lines_of_a_full_piece_are_quick)
{
    // Each of these takes a backtracking engine tens of seconds.
    const std::string blanks(2046, ' ');
    EXPECT_FALSE(language_line::match_entry(blanks + "\n"));
    EXPECT_FALSE(language_line::match_entry(blanks + "="));
    const auto e = language_line::match_entry(std::string(2000, ' ') + "=\"x\"" + std::string(43, ' '));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->key, " ");  // the leading blanks give one back to "[^;]"
    EXPECT_EQ(e->text, "x");
}
