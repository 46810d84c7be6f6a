// Directory reading: positioning along the fixed root or a cluster chain, finding the next
// entry to report (deleted ones included) with its long name, and the two public calls.
#include <memory>
#include <new>
#include <span>

#include "disk/le.h"
#include "recovery/fat/fat_module.h"

namespace {

// Directory entry fields.
constexpr std::size_t DIR_Name = 0;
constexpr std::size_t DIR_Attr = 11;
constexpr std::size_t LDIR_Ord = 0;
constexpr std::size_t LDIR_Chksum = 13;
constexpr std::size_t entry_bytes = 32;
constexpr std::uint32_t entries_per_sector = fat_sector_bytes / entry_bytes;

constexpr std::uint8_t deleted_mark = 0xE5;
constexpr std::uint8_t last_long_part = 0x40;  // set in the ordinal of the part that comes first
constexpr std::uint16_t no_long_name = 0xFFFF;

// The byte offsets of the 13 UTF-16 characters that a long-name part holds.
constexpr std::size_t lfn_offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

std::span<const std::uint8_t> current_entry(const DIR* dj)
{
    return std::span<const std::uint8_t>(dj->fs->win).subspan((dj->index % entries_per_sector) * entry_bytes,
                                                               entry_bytes);
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

// A directory read allocates its long-name buffer and hands it back when it returns.
struct lfn_buffer_s {
    DIR* dj;
    std::unique_ptr<char16_t[]> chars{new (std::nothrow) char16_t[fat_lfn_chars]};
    explicit lfn_buffer_s(DIR* d) : dj(d) { dj->lfn = chars.get(); }
    ~lfn_buffer_s() { dj->lfn = nullptr; }
};

}  // namespace

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
        if ((c == '.' && !dj->deleted) || ((a & AM_VOL) && a != AM_LFN)) {
            ord = 0xFF;  // "." and ".." of a subdirectory, and the volume label
        } else if (a == AM_LFN) {
            if (c & last_long_part) {
                sum = e[LDIR_Chksum];
                ord = c & 0xBF;
                dj->lfn_idx = dj->index;
            } else if (c != ord) {
                ord = 0xFF;
            }
            if (ord != 0xFF)
                ord = sum == e[LDIR_Chksum] && dj->lfn && place_long_part(dj->lfn, e) ? ord - 1 : 0xFF;
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
