// Directory reading: positioning along the fixed root or a cluster chain, finding the next
// entry to report (deleted ones included) with its long name, and the two public calls.
#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "disk/le.h"
#include "recovery/fat/fat_module.h"

namespace {

// Directory entry fields.
constexpr std::size_t DIR_Name = 0;
constexpr std::size_t DIR_Ext = 8;
constexpr std::size_t DIR_Attr = 11;
constexpr std::size_t DIR_NTres = 12;
constexpr std::size_t LDIR_Ord = 0;
constexpr std::size_t LDIR_Type = 12;
constexpr std::size_t LDIR_Chksum = 13;
constexpr std::size_t LDIR_FstClusLO = 26;
constexpr std::size_t entry_bytes = 32;
constexpr std::uint32_t entries_per_sector = fat_sector_bytes / entry_bytes;

constexpr std::uint8_t deleted_mark = 0xE5;
constexpr std::uint8_t NS_BODY_LOWER = 0x08;  // lower-case flags that Windows NT keeps in byte 12
constexpr std::uint8_t NS_EXT_LOWER = 0x10;
constexpr std::uint8_t last_long_part = 0x40;  // set in the ordinal of the part that comes first
constexpr std::uint16_t no_long_name = 0xFFFF;
// Bytes that no 8.3 name holds ("." only in the "." and ".." entries).
constexpr std::string_view not_in_names = "\"*+,./:;<=>?[\\]|";

// The byte offsets of the 13 UTF-16 characters that a long-name part holds.
constexpr std::size_t lfn_offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

std::span<const std::uint8_t> current_entry(const DIR* dj)
{
    return std::span<const std::uint8_t>(dj->fs->win)
        .subspan((dj->index % entries_per_sector) * entry_bytes, entry_bytes);
}

// Places one long-name part into the working buffer. Part n (1-based) holds characters
// (n - 1) * 13 onward; the name ends at the first 0x0000 and the rest of the part is padded
// with 0xFFFF. Every position written stays below 255, so names of more than 253 characters
// are refused (the part with the highest number also stores the terminating NUL). A deleted
// part reads as number 0xE5 & 0x3F = 37 and so is always refused.
bool place_long_part(char16_t* lfn, std::span<const std::uint8_t> e)
{
    constexpr unsigned max_position = fat_lfn_chars - 1;
    const unsigned n = e[LDIR_Ord] & 0x3F;
    if (n == 0)  // no part 0: its characters would come before the name's start
        return false;
    unsigned pos = (n - 1) * 13;
    bool ended = false;
    for (std::size_t off : lfn_offsets) {
        const char16_t c = le16(e, off);
        if (ended) {
            if (c != 0xFFFF)
                return false;
            continue;
        }
        if (pos >= max_position)
            return false;
        lfn[pos++] = c;
        ended = c == 0;
    }
    if (e[LDIR_Ord] & last_long_part) {
        if (pos >= max_position)
            return false;
        lfn[pos] = 0;
    }
    return true;
}

// The checksum of an 8.3 name that its long-name parts carry.
std::uint8_t name_checksum(std::span<const std::uint8_t> e)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 11; ++i)
        sum = static_cast<std::uint8_t>(((sum >> 1) | (sum << 7)) + e[DIR_Name + i]);
    return sum;
}

// The checksum an 8.3 entry would have with first as its first name byte.
std::uint8_t checksum_with_first(std::span<const std::uint8_t> e, std::uint8_t first)
{
    std::uint8_t sum = first;
    for (std::size_t i = 1; i < 11; ++i)
        sum = static_cast<std::uint8_t>(((sum >> 1) | (sum << 7)) + e[DIR_Name + i]);
    return sum;
}

// Deletion overwrites the first name byte with 0xE5, which the checksum covers. The
// checksum is a one-to-one function of that byte, so exactly one value gives the checksum
// that the long name carries; it must be a byte that can begin an 8.3 name.
std::optional<std::uint8_t> first_byte_for(std::span<const std::uint8_t> e, std::uint8_t sum)
{
    for (unsigned b = 1; b < 256; ++b) {
        if (checksum_with_first(e, static_cast<std::uint8_t>(b)) != sum)
            continue;
        if (b == ' ' || b == deleted_mark || (b < 0x20 && b != 0x05) || (b >= 'a' && b <= 'z') ||
            not_in_names.find(static_cast<char>(b)) != std::string_view::npos)
            return std::nullopt;
        return static_cast<std::uint8_t>(b);
    }
    return std::nullopt;
}

// An ASCII letter or digit in upper case, or 0 for any other character (which an 8.3 name
// holds in a form of its own: a code page's byte, or "_").
char16_t plain_upper(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - (u'a' - u'A'));
    return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ? c : 0;
}

// Whether a long name fits the 8.3 entry e whose first byte is `first`. An 8.3 name made
// from a long one begins with the long name's first character (leading dots and spaces
// dropped) and takes its extension from the long name's last dot, both in upper case. The
// extension also tells a name that ended where a part ended from one whose further parts
// were overwritten.
bool fits_short_name(const char16_t* lfn, std::span<const std::uint8_t> e, std::uint8_t first)
{
    std::size_t i = 0;
    while (lfn[i] == u'.' || lfn[i] == u' ')
        ++i;
    if (const char16_t c = plain_upper(lfn[i]); c != 0 && c != first)
        return false;
    std::size_t length = 0, dot = 0;
    for (; lfn[length] != 0; ++length)
        if (lfn[length] == u'.')
            dot = length;
    for (std::size_t k = 0; k < 3 && e[DIR_Ext + k] != ' '; ++k) {
        if (dot == 0 || dot + 1 + k >= length)
            return false;
        if (const char16_t c = plain_upper(lfn[dot + 1 + k]); c != 0 && c != e[DIR_Ext + k])
            return false;
    }
    return true;
}

// The deleted long-name parts met just before the current entry, the nearest last. A
// deleted part has lost its sequence number (byte 0 is the deletion mark), so its place in
// the name follows from its position: the part right before the 8.3 entry holds the first
// 13 characters, the one before it the next 13, and so on.
struct deleted_parts_s {
    static constexpr unsigned max_parts = 20;  // 260 characters: more than any long name
    std::array<std::array<std::uint8_t, entry_bytes>, max_parts> ring{};
    unsigned total = 0;

    void add(std::span<const std::uint8_t> e) { std::copy(e.begin(), e.end(), ring[total++ % max_parts].begin()); }
    void clear() { total = 0; }
    // The k-th part before the entry, k from 1.
    std::span<const std::uint8_t> part(unsigned k) const { return ring[(total - k) % max_parts]; }

    // Assembles the long name of the deleted 8.3 entry e into lfn, and gives the entry's
    // lost first byte, when the parts check out: every part carries the same checksum,
    // the characters end in a NUL padded with 0xFFFF (or fill the last part exactly), and
    // the checksum gives a first byte with which the 8.3 name fits the long one.
    std::optional<std::uint8_t> assemble(std::span<const std::uint8_t> e, char16_t* lfn) const
    {
        constexpr unsigned max_length = fat_lfn_chars - 3;  // as for the names of live entries
        const unsigned n = std::min(total, max_parts);
        if (n == 0 || !lfn)
            return std::nullopt;
        const std::uint8_t sum = part(1)[LDIR_Chksum];
        unsigned length = 0;
        bool ended = false;
        for (unsigned k = 1; k <= n && !ended; ++k) {
            const std::span<const std::uint8_t> p = part(k);
            if (p[LDIR_Chksum] != sum || p[LDIR_Type] != 0 || le16(p, LDIR_FstClusLO) != 0) {
                if (k == 1)
                    return std::nullopt;
                break;  // another entry's part: the name filled the parts before it exactly
            }
            for (std::size_t off : lfn_offsets) {
                const char16_t c = le16(p, off);
                if (ended) {
                    if (c != 0xFFFF)
                        return std::nullopt;
                    continue;
                }
                if (c == 0) {
                    ended = true;
                    continue;
                }
                if (c == 0xFFFF || length >= max_length)
                    return std::nullopt;
                lfn[length++] = c;
            }
        }
        if (length == 0)
            return std::nullopt;
        lfn[length] = 0;
        const std::optional<std::uint8_t> first = first_byte_for(e, sum);
        if (!first || !fits_short_name(lfn, e, *first))
            return std::nullopt;
        return first;
    }
};

// A directory read allocates its long-name buffer and hands it back when it returns.
struct lfn_buffer_s {
    DIR* dj;
    std::unique_ptr<char16_t[]> chars{new (std::nothrow) char16_t[fat_lfn_chars]};
    explicit lfn_buffer_s(DIR* d) : dj(d) { dj->lfn = chars.get(); }
    ~lfn_buffer_s() { dj->lfn = nullptr; }
};

}  // namespace

namespace {

bool plausible_entry(std::span<const std::uint8_t> e)
{
    const std::uint8_t c = e[DIR_Name];
    const std::uint8_t a = e[DIR_Attr];
    if (a & 0xC0)
        return false;
    if (a == AM_LFN) {
        const unsigned n = c & 0x3F;
        return e[LDIR_Type] == 0 && le16(e, LDIR_FstClusLO) == 0 &&
               (c == deleted_mark || (!(c & 0x80) && n >= 1 && n <= 20));
    }
    if (e[DIR_NTres] & ~(NS_BODY_LOWER | NS_EXT_LOWER))
        return false;
    constexpr std::string_view dot = ".          ", dotdot = "..         ";
    const std::string_view name(reinterpret_cast<const char*>(e.data()), 11);
    if (name == dot || name == dotdot)
        return true;
    for (std::size_t i = 0; i < 11; ++i) {
        const std::uint8_t b = e[i];
        if (i == 0 && (b == deleted_mark || b == 0x05))
            continue;
        if (b < 0x20 || (i == 0 && b == ' ') || not_in_names.find(static_cast<char>(b)) != std::string_view::npos)
            return false;
    }
    return true;
}

// The cluster a deleted folder's directory goes on in after clst: along the FAT while it
// still holds a chain, else the next cluster on the disk while that one is free; either
// only when it reads as directory entries. 0 when the directory ends; 0xFFFFFFFF on a
// read error.
std::uint32_t next_deleted_cluster(FATFS* fs, std::uint32_t clst)
{
    std::uint32_t next = get_fat(fs, clst);
    if (next == 0xFFFFFFFF)
        return next;
    if (next == 0) {
        next = clst + 1;
        if (next >= fs->n_fatent)
            return 0;
        const std::uint32_t taken = get_fat(fs, next);
        if (taken == 0xFFFFFFFF)
            return taken;
        if (taken != 0)
            return 0;  // it belongs to another file now
    } else if (next < 2 || next >= fs->n_fatent) {
        return 0;
    }
    return holds_directory_entries(fs, next) ? next : 0;
}

}  // namespace

bool holds_directory_entries(FATFS* fs, std::uint32_t clst)
{
    const std::uint32_t first = clust2sect(fs, clst);
    if (first == 0)
        return false;
    for (std::uint32_t s = 0; s < fs->csize; ++s) {
        if (move_window(fs, first + s) != FR_OK)
            return false;
        const std::span<const std::uint8_t> w(fs->win);
        for (std::size_t at = 0; at < fat_sector_bytes; at += entry_bytes) {
            const std::span<const std::uint8_t> e = w.subspan(at, entry_bytes);
            if (e[DIR_Name] == 0)
                return true;  // the directory ends here
            if (!plausible_entry(e))
                return false;
        }
    }
    return true;
}

FRESULT dir_rewind(DIR* dj)
{
    FATFS* fs = dj->fs;
    dj->index = 0;
    std::uint32_t clst = dj->sclust;
    if (clst == 1 || clst >= fs->n_fatent)
        return FR_INT_ERR;
    if (clst == 0 && fs->fs_type == FS_FAT32)
        clst = fs->dirbase;
    if (clst == 0) {
        if (fs->n_rootdir == 0)
            return FR_INT_ERR;
        dj->clust = 0;
        dj->sect = fs->dirbase;
    } else {
        // A FAT32 root cluster taken from a damaged boot sector can be out of range too.
        const std::uint32_t sect = clust2sect(fs, clst);
        if (sect == 0)
            return FR_INT_ERR;
        dj->clust = clst;
        dj->sect = sect;
        // A deleted folder whose first cluster now holds another file's data has no
        // entries left to read.
        if (dj->contiguous && !holds_directory_entries(fs, clst)) {
            dj->sect = 0;
            return FR_NO_FILE;
        }
    }
    dj->dir = fs->win.data();
    return FR_OK;
}

FRESULT dir_next(DIR* dj)
{
    FATFS* fs = dj->fs;
    // The 16-bit index bounds every directory to 65536 entries, which also ends a chain
    // that loops back on itself.
    const std::uint16_t i = static_cast<std::uint16_t>(dj->index + 1);
    if (i == 0 || dj->sect == 0)
        return FR_NO_FILE;
    if (i % entries_per_sector == 0) {
        if (dj->clust == 0) {
            if (i >= fs->n_rootdir)
                return FR_NO_FILE;
            ++dj->sect;
        } else if ((i / entries_per_sector) % fs->csize == 0 && dj->contiguous) {
            const std::uint32_t next = next_deleted_cluster(fs, dj->clust);
            if (next == 0xFFFFFFFF)
                return FR_DISK_ERR;
            if (next == 0)
                return FR_NO_FILE;
            dj->clust = next;
            dj->sect = clust2sect(fs, next);
        } else if ((i / entries_per_sector) % fs->csize == 0) {
            const std::uint32_t next = get_fat(fs, dj->clust);
            if (next <= 1)
                return FR_INT_ERR;  // a free cluster inside a chain
            if (next == 0xFFFFFFFF)
                return FR_DISK_ERR;
            if (next >= fs->n_fatent)
                // An end-of-chain mark ends the directory; any other value past the last
                // cluster (a bad-cluster mark or damage) is an inconsistency.
                return is_end_of_chain(fs, next) ? FR_NO_FILE : FR_INT_ERR;
            dj->clust = next;
            dj->sect = clust2sect(fs, next);
        } else {
            ++dj->sect;
        }
    }
    dj->index = i;
    dj->dir = fs->win.data() + (i % entries_per_sector) * entry_bytes;
    return FR_OK;
}

FRESULT dir_read(DIR* dj)
{
    FRESULT res = FR_NO_FILE;
    std::uint8_t ord = 0xFF;
    std::uint8_t sum = 0xFF;
    deleted_parts_s deleted_parts;
    dj->restored_first = 0;
    while (dj->sect != 0) {
        res = move_window(dj->fs, dj->sect);
        if (res != FR_OK)
            break;
        dj->dir = dj->fs->win.data() + (dj->index % entries_per_sector) * entry_bytes;
        const std::span<const std::uint8_t> e = current_entry(dj);
        const std::uint8_t c = e[DIR_Name];
        if (c == 0) {  // entries after the first never-used one have never been written
            res = FR_NO_FILE;
            break;
        }
        const std::uint8_t a = e[DIR_Attr] & 0x7F;
        dj->deleted = c == deleted_mark ? 1 : 0;
        if (a == AM_LFN && dj->deleted) {
            deleted_parts.add(e);
            ord = 0xFF;
        } else if ((c == '.' && !dj->deleted) || ((a & AM_VOL) && a != AM_LFN)) {
            ord = 0xFF;  // "." and ".." of a subdirectory, and the volume label
            deleted_parts.clear();
        } else if (a == AM_LFN) {
            deleted_parts.clear();
            if (c & last_long_part) {
                sum = e[LDIR_Chksum];
                ord = c & 0xBF;
                dj->lfn_idx = dj->index;
            } else if (c != ord) {
                ord = 0xFF;
            }
            if (ord != 0xFF)
                ord = sum == e[LDIR_Chksum] && dj->lfn && place_long_part(dj->lfn, e) ? ord - 1 : 0xFF;
        } else if (dj->deleted) {
            // Deleting a file marks its long-name parts as deleted too; a tool that marks
            // only the 8.3 entry leaves whole parts, whose checksum still gives the first
            // byte back.
            std::optional<std::uint8_t> first;
            if (ord == 0)
                first = first_byte_for(e, sum);
            else
                first = deleted_parts.assemble(e, dj->lfn);
            if (first && ord == 0 && !fits_short_name(dj->lfn, e, *first))
                first.reset();
            dj->restored_first = first.value_or(0);
            dj->lfn_idx = first ? static_cast<std::uint16_t>(dj->index) : no_long_name;
            return FR_OK;
        } else {
            if (ord != 0 || sum != name_checksum(e))
                dj->lfn_idx = no_long_name;
            return FR_OK;
        }
        res = dir_next(dj);
        if (res != FR_OK)
            break;
    }
    dj->sect = 0;
    return res;
}

namespace {

FRESULT open_directory(DIR* dj, const char* path)
{
    FATFS* fs = nullptr;
    FRESULT res = mount_volume(&path, &fs);
    if (res == FR_OK) {
        dj->fs = fs;
        lfn_buffer_s lfn(dj);
        if (!lfn.chars)
            res = FR_NOT_ENOUGH_CORE;
        else {
            if (*path == '/' || *path == '\\')
                ++path;
            if (*path != '\0')
                res = FR_NO_PATH;  // names below the root are never looked up
            else {
                dj->sclust = 0;
                res = dir_rewind(dj);
                dj->dir = nullptr;
            }
        }
    }
    if (res == FR_OK) {
        dj->id = fs->id;
        res = dir_rewind(dj);
    }
    if (res == FR_NO_FILE)
        res = FR_NO_PATH;
    if (res != FR_OK)
        dj->fs = nullptr;
    return res;
}

FRESULT read_directory(DIR* dj, FILINFO* fno)
{
    FRESULT res = validate_object(dj->fs, dj->id);
    if (res != FR_OK)
        return res;
    if (!fno)
        return dir_rewind(dj);
    lfn_buffer_s lfn(dj);
    if (!lfn.chars)
        return FR_NOT_ENOUGH_CORE;
    res = dir_read(dj);
    if (res == FR_NO_FILE) {
        dj->sect = 0;
        res = FR_OK;
    }
    if (res != FR_OK)
        return res;
    get_fileinfo(dj, fno);
    res = dir_next(dj);
    // Whatever stops the step to the next entry ends the directory, so that a caller that
    // reads on gets the end instead of the same entry and the same failure again.
    if (res != FR_OK)
        dj->sect = 0;
    if (res == FR_NO_FILE)
        res = FR_OK;
    return res;
}

}  // namespace

FRESULT f_opendir(DIR* dj, const char* path)
{
    FATFS* fs = registered_volume(path);
    if (!fs)
        return open_directory(dj, path);  // gives the reason
    const std::lock_guard<std::mutex> g(fs->lock);
    return open_directory(dj, path);
}

FRESULT f_readdir(DIR* dj, FILINFO* fno)
{
    if (!dj->fs)
        return FR_INVALID_OBJECT;
    const std::lock_guard<std::mutex> g(dj->fs->lock);
    return read_directory(dj, fno);
}
