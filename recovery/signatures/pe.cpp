// Windows executables and libraries (PE): the "MZ" header names at 0x3C the offset of the
// "PE\0\0" signature, followed by the COFF header (section count, optional header size,
// characteristics) and the optional header (PE32 or PE32+), whose SizeOfHeaders and data
// directories are read; the section table follows it. The file ends at the furthest of
// the headers, every section's raw data, the COFF symbol and string tables, and the
// certificate table (data directory 4, the one directory whose address is a file
// offset). Data appended behind that (an installer's payload) cannot be told from what
// follows and is not counted.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t e_lfanew = 0x3C;
// Offsets from the "PE\0\0" signature: the COFF header follows it, then the optional header.
constexpr std::uint64_t coff_sections = 6, coff_symbol_table = 12, coff_symbols = 16, coff_optional_size = 20,
                        coff_characteristics = 22, coff_bytes = 24, symbol_bytes = 18;
constexpr std::uint64_t opt_size_of_headers = 60, section_bytes = 40, section_raw_size = 16, section_raw_pointer = 20;
constexpr std::uint32_t image_file_dll = 0x2000;

std::optional<carve_result_s> pe_size(carve_reader& r)
{
    const auto lfanew = r.le32(e_lfanew);
    if (!lfanew || *lfanew < 0x40 || *lfanew > 0x10000)
        return std::nullopt;
    const std::uint64_t pe = *lfanew;
    const auto sig = r.le32(pe);
    if (!sig || *sig != 0x00004550)
        return std::nullopt;
    const auto sections = r.le16(pe + coff_sections), opt_size = r.le16(pe + coff_optional_size),
               characteristics = r.le16(pe + coff_characteristics);
    if (!sections || !opt_size || !characteristics || *sections == 0 || *sections > 96)
        return std::nullopt;
    const std::uint64_t opt = pe + coff_bytes;
    const auto magic = r.le16(opt);
    if (!magic || (*magic != 0x10B && *magic != 0x20B))
        return std::nullopt;
    const bool plus = *magic == 0x20B;
    const std::uint64_t dirs_count_at = opt + (plus ? 108 : 92), dirs_at = opt + (plus ? 112 : 96);
    const auto headers = r.le32(opt + opt_size_of_headers), dir_count = r.le32(dirs_count_at);
    if (!headers || !dir_count || *opt_size < (plus ? 112u : 96u) + 8u * std::min<std::uint32_t>(*dir_count, 16))
        return std::nullopt;
    const std::uint64_t table = opt + *opt_size;
    std::uint64_t end = std::max<std::uint64_t>(*headers, table + *sections * section_bytes);
    for (std::uint64_t i = 0; i < *sections; ++i) {
        const auto size = r.le32(table + i * section_bytes + section_raw_size),
                   pointer = r.le32(table + i * section_bytes + section_raw_pointer);
        if (!size || !pointer)
            return std::nullopt;
        if (*size != 0)
            end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(*pointer) + *size);
    }
    if (*dir_count > 4) {
        const auto cert = r.le32(dirs_at + 4 * 8), cert_size = r.le32(dirs_at + 4 * 8 + 4);
        if (!cert || !cert_size)
            return std::nullopt;
        if (*cert != 0 && *cert_size != 0)
            end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(*cert) + *cert_size);
    }
    // A COFF symbol table (kept by some linkers) and the string table right behind it,
    // whose first 4 bytes give its length.
    const auto symbols_at = r.le32(pe + coff_symbol_table), symbols = r.le32(pe + coff_symbols);
    if (!symbols_at || !symbols)
        return std::nullopt;
    if (*symbols_at != 0) {
        const std::uint64_t strings = static_cast<std::uint64_t>(*symbols_at) + symbol_bytes * *symbols;
        const auto strings_size = r.le32(strings);
        if (!strings_size)
            return std::nullopt;
        end = std::max<std::uint64_t>(end, strings + std::max<std::uint32_t>(*strings_size, 4));
    }
    if (end > r.limit() || r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, (*characteristics & image_file_dll) ? "dll" : nullptr};
}

}  // namespace

extern const signature_s pe_signature{
    "exe", "exe", 1 * gib, {{0, sig_bytes("MZ")}}, pe_size,
};
