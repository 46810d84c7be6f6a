// ELF executables, libraries and objects: a header of 52 (32-bit) or 64 (64-bit) bytes in
// the byte order named at offset 5, with the file offsets and counts of the program header
// table and the section header table. The file ends at the furthest of: the two tables,
// every section's data (except SHT_NOBITS, which takes no file space) and every segment's
// file bytes. The header's own size and entry sizes must be the standard ones.
#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint32_t sht_nobits = 8;

struct elf_reader {
    carve_reader& r;
    bool big;
    std::optional<std::uint64_t> u16(std::uint64_t at)
    {
        auto v = big ? r.be16(at) : r.le16(at);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    }
    std::optional<std::uint64_t> u32(std::uint64_t at)
    {
        auto v = big ? r.be32(at) : r.le32(at);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    }
    std::optional<std::uint64_t> u64(std::uint64_t at) { return big ? r.be64(at) : r.le64(at); }
};

std::optional<carve_result_s> elf_size(carve_reader& r)
{
    std::uint8_t ident[16];
    if (!r.read(0, ident, sizeof ident) || (ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2) ||
        ident[6] != 1)
        return std::nullopt;
    const bool wide = ident[4] == 2;
    elf_reader e{r, ident[5] == 2};
    const auto word = [&](std::uint64_t at) { return wide ? e.u64(at) : e.u32(at); };
    const auto version = e.u32(20);
    const auto phoff = word(wide ? 32 : 28), shoff = word(wide ? 40 : 32);
    const auto ehsize = e.u16(wide ? 52 : 40), phentsize = e.u16(wide ? 54 : 42), phnum = e.u16(wide ? 56 : 44),
               shentsize = e.u16(wide ? 58 : 46), shnum = e.u16(wide ? 60 : 48), shstrndx = e.u16(wide ? 62 : 50);
    if (!version || !phoff || !shoff || !ehsize || !phentsize || !phnum || !shentsize || !shnum || !shstrndx)
        return std::nullopt;
    const std::uint64_t ph_bytes = wide ? 56 : 32, sh_bytes = wide ? 64 : 40;
    if (*version != 1 || *ehsize != (wide ? 64u : 52u) || (*phnum != 0 && *phentsize != ph_bytes) ||
        (*shnum != 0 && *shentsize != sh_bytes) || (*shnum != 0 && *shstrndx >= *shnum) || (*phnum == 0 && *shnum == 0))
        return std::nullopt;
    const std::uint64_t limit = r.limit();
    std::uint64_t end = *ehsize;
    const auto extend = [&](std::uint64_t off, std::uint64_t len) {
        if (off > limit || len > limit - off)
            return false;
        end = std::max(end, off + len);
        return true;
    };
    if (*phnum != 0 && !extend(*phoff, *phnum * ph_bytes))
        return std::nullopt;
    if (*shnum != 0 && !extend(*shoff, *shnum * sh_bytes))
        return std::nullopt;
    for (std::uint64_t i = 0; i < *phnum; ++i) {
        const std::uint64_t at = *phoff + i * ph_bytes;
        const auto off = word(at + (wide ? 8 : 4)), filesz = word(at + (wide ? 32 : 16));
        if (!off || !filesz || !extend(*off, *filesz))
            return std::nullopt;
    }
    for (std::uint64_t i = 0; i < *shnum; ++i) {
        const std::uint64_t at = *shoff + i * sh_bytes;
        const auto type = e.u32(at + 4), off = word(at + (wide ? 24 : 16)), size = word(at + (wide ? 32 : 20));
        if (!type || !off || !size)
            return std::nullopt;
        if (*type != sht_nobits && !extend(*off, *size))
            return std::nullopt;
    }
    if (r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, nullptr};
}

}  // namespace

extern const signature_s elf_signature{
    "elf",
    "elf",
    1 * gib,
    {{0, sig_bytes("\x7F"
                   "ELF")}},
    elf_size,
};
