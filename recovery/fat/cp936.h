#pragma once
// Code page 936 (simplified Chinese, GBK) to Unicode, for the 8.3 names of FAT directory
// entries. A table of every code's Unicode is built once, at first use, from the C
// library's own CP936 converter.
#include <cstdint>

// Unicode of a code page 936 code: a single byte (below 0x100) or a double-byte code (lead
// byte in the high 8 bits). Codes below 0x80 are ASCII and come back unchanged; a code
// without a Unicode form gives '?'.
char16_t cp936_to_unicode(std::uint16_t code);

// Whether a byte can begin a double-byte code, and whether a byte can end one.
constexpr bool cp936_lead_byte(std::uint8_t b)
{
    return b >= 0x81 && b <= 0xFE;
}
constexpr bool cp936_trail_byte(std::uint8_t b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}
