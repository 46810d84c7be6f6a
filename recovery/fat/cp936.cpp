#include "recovery/fat/cp936.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

// Converts one code's bytes with the open converter; false when the code has no single
// UTF-16 unit (invalid, incomplete, or outside the basic plane).
bool convert(iconv_t cd, const char* bytes, std::size_t length, char16_t* out)
{
    char in_buf[2] = {bytes[0], length > 1 ? bytes[1] : '\0'};
    unsigned char out_buf[8];
    char* in = in_buf;
    char* o = reinterpret_cast<char*>(out_buf);
    std::size_t in_left = length;
    std::size_t out_left = sizeof out_buf;
    const std::size_t r = iconv(cd, &in, &in_left, &o, &out_left);
    // A failed or partial conversion can leave state behind; reset before the next code.
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (r == static_cast<std::size_t>(-1) || in_left != 0 || sizeof out_buf - out_left != 2)
        return false;
    *out = static_cast<char16_t>(out_buf[0] | (out_buf[1] << 8));
    return true;
}

// Indexed by code: every single byte from 0x80 and every double-byte code 0x8140..0xFEFE
// that converts; '?' everywhere else. ASCII is answered before the table is looked at.
std::vector<char16_t> build_table()
{
    std::vector<char16_t> table(0x10000, u'?');
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table;
    char16_t u = 0;
    for (unsigned code = 0x80; code <= 0xFF; ++code) {
        const char b[1] = {static_cast<char>(code)};
        if (convert(cd, b, 1, &u))
            table[code] = u;
    }
    for (unsigned code = 0x8140; code <= 0xFEFE; ++code) {
        const char b[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        if (cp936_trail_byte(static_cast<std::uint8_t>(code & 0xFF)) && convert(cd, b, 2, &u))
            table[code] = u;
    }
    iconv_close(cd);
    return table;
}

}  // namespace

char16_t cp936_to_unicode(std::uint16_t code)
{
    if (code < 0x80)
        return static_cast<char16_t>(code);
    static const std::vector<char16_t> table = build_table();
    return table[code];
}
