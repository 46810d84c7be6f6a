// OLE2 compound files (Word .doc, Excel .xls, PowerPoint .ppt and others): a 512-byte
// header, then sectors of 512 (version 3) or 4096 (version 4) bytes; sector n lies at
// (n + 1) * sector size. The file allocation table (FAT), whose own sectors are listed
// by the DIFAT (109 entries in the header, the rest in a chain of DIFAT sectors), marks
// every used sector; the file ends after the last sector the FAT does not mark free. The
// stream names in the directory tell which program wrote it.
#include <string>
#include <vector>

#include "recovery/signatures/signature.h"

namespace {

constexpr std::uint64_t h_major = 0x1A, h_byte_order = 0x1C, h_sector_shift = 0x1E, h_mini_shift = 0x20,
                        h_fat_sectors = 0x2C, h_first_dir = 0x30, h_first_difat = 0x44, h_difat_sectors = 0x48,
                        h_difat = 0x4C;
constexpr std::uint32_t free_sect = 0xFFFFFFFF, max_regular = 0xFFFFFFFA;
constexpr int max_dir_sectors = 4096;

// The UTF-16 names of the directory's first entries, as Latin-1 text.
std::vector<std::string> stream_names(carve_reader& r, std::uint32_t first, std::uint64_t sector,
                                      const std::vector<std::uint32_t>& fat)
{
    std::vector<std::string> names;
    std::uint32_t s = first;
    for (int n = 0; n < max_dir_sectors && s <= max_regular && s < fat.size(); ++n, s = fat[s]) {
        for (std::uint64_t e = 0; e < sector / 128; ++e) {
            const std::uint64_t at = (s + 1ull) * sector + e * 128;
            const auto len = r.le16(at + 64);
            if (!len || *len < 2 || *len > 64)
                continue;
            std::string name;
            for (std::uint64_t i = 0; i + 2 < *len; i += 2) {
                const auto c = r.le16(at + i);
                if (!c)
                    break;
                name.push_back(*c < 0x100 ? static_cast<char>(*c) : '?');
            }
            names.push_back(name);
        }
    }
    return names;
}

const char* extension_of(const std::vector<std::string>& names)
{
    for (const std::string& n : names) {
        if (n == "WordDocument")
            return "doc";
        if (n == "Workbook" || n == "Book")
            return "xls";
        if (n == "PowerPoint Document")
            return "ppt";
        if (n == "VisioDocument")
            return "vsd";
        if (n.rfind("__substg1.0_", 0) == 0)
            return "msg";
    }
    return nullptr;
}

std::optional<carve_result_s> ole2_size(carve_reader& r)
{
    const auto major = r.le16(h_major), order = r.le16(h_byte_order), shift = r.le16(h_sector_shift),
               mini = r.le16(h_mini_shift);
    const auto fat_sectors = r.le32(h_fat_sectors), first_dir = r.le32(h_first_dir),
               first_difat = r.le32(h_first_difat), difat_sectors = r.le32(h_difat_sectors);
    if (!major || !order || !shift || !mini || !fat_sectors || !first_dir || !first_difat || !difat_sectors)
        return std::nullopt;
    if (*order != 0xFFFE || *mini != 6 || !((*major == 3 && *shift == 9) || (*major == 4 && *shift == 12)) ||
        *fat_sectors == 0)
        return std::nullopt;
    const std::uint64_t sector = 1ull << *shift;
    const std::uint64_t per_sector = sector / 4;
    // A FAT larger than the sectors the file may span cannot be right.
    if (*fat_sectors > r.limit() / sector / per_sector + 1)
        return std::nullopt;

    // The FAT's own sector numbers, from the header and the DIFAT chain.
    std::vector<std::uint32_t> fat_list;
    for (std::uint64_t i = 0; i < 109 && fat_list.size() < *fat_sectors; ++i) {
        const auto s = r.le32(h_difat + 4 * i);
        if (!s)
            return std::nullopt;
        fat_list.push_back(*s);
    }
    std::uint32_t d = *first_difat;
    for (std::uint32_t n = 0; fat_list.size() < *fat_sectors; ++n) {
        if (n >= *difat_sectors || d > max_regular)
            return std::nullopt;
        for (std::uint64_t i = 0; i + 1 < per_sector && fat_list.size() < *fat_sectors; ++i) {
            const auto s = r.le32((d + 1ull) * sector + 4 * i);
            if (!s)
                return std::nullopt;
            fat_list.push_back(*s);
        }
        const auto next = r.le32((d + 1ull) * sector + 4 * (per_sector - 1));
        if (!next)
            return std::nullopt;
        d = *next;
    }

    std::vector<std::uint32_t> fat;
    fat.reserve(fat_list.size() * per_sector);
    std::uint64_t last_used = 0;
    bool any = false;
    for (std::uint32_t s : fat_list) {
        if (s > max_regular)
            return std::nullopt;
        for (std::uint64_t i = 0; i < per_sector; ++i) {
            const auto v = r.le32((s + 1ull) * sector + 4 * i);
            if (!v)
                return std::nullopt;
            if (*v != free_sect) {
                last_used = fat.size();
                any = true;
            }
            fat.push_back(*v);
        }
    }
    if (!any || *first_dir > max_regular || *first_dir >= fat.size() || fat[*first_dir] == free_sect)
        return std::nullopt;
    const std::uint64_t end = (last_used + 2) * sector;
    if (end > r.limit() || r.view(end - 1, 1).empty())
        return std::nullopt;
    return carve_result_s{end, extension_of(stream_names(r, *first_dir, sector, fat))};
}

}  // namespace

extern const signature_s ole2_signature{
    "ole", "ole", 1 * gib, {{0, sig_bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")}}, ole2_size,
};
