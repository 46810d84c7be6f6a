// The sector window and the FAT: cluster numbers to sectors and FAT entries, each one
// range-checked before it is used.
#include <span>

#include "disk/le.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"

FRESULT move_window(FATFS* fs, std::uint32_t sector)
{
    if (sector == fs->winsect || sector == 0)
        return FR_OK;
    if (disk_read(fs->drv, fs->win.data(), sector, 1) != RES_OK) {
        fs->winsect = 0;  // the window's bytes are no longer those of any sector
        return FR_DISK_ERR;
    }
    fs->winsect = sector;
    return FR_OK;
}

std::uint32_t clust2sect(const FATFS* fs, std::uint32_t clst)
{
    // Cluster numbers start at 2; unsigned wrap makes 0 and 1 out of range too.
    clst -= 2;
    if (fs->n_fatent < 2 || clst >= fs->n_fatent - 2)
        return 0;
    return fs->database + clst * fs->csize;
}

std::uint32_t get_fat(FATFS* fs, std::uint32_t clst)
{
    constexpr std::uint32_t read_error = 0xFFFFFFFF;
    if (clst < 2 || clst >= fs->n_fatent)
        return 1;
    const std::span<const std::uint8_t> w(fs->win);
    switch (fs->fs_type) {
    case FS_FAT12: {
        // 12-bit entries: cluster C uses the 16 bits at byte C * 1.5, whose two bytes can lie
        // in two sectors; an odd cluster takes the high 12 bits, an even one the low 12.
        std::uint32_t byte = clst + clst / 2;
        if (move_window(fs, fs->fatbase + byte / fat_sector_bytes) != FR_OK)
            return read_error;
        std::uint32_t value = w[byte % fat_sector_bytes];
        ++byte;
        if (move_window(fs, fs->fatbase + byte / fat_sector_bytes) != FR_OK)
            return read_error;
        value |= std::uint32_t{w[byte % fat_sector_bytes]} << 8;
        return clst & 1 ? value >> 4 : value & 0xFFF;
    }
    case FS_FAT16: {
        const std::uint32_t byte = clst * 2;
        if (move_window(fs, fs->fatbase + byte / fat_sector_bytes) != FR_OK)
            return read_error;
        return le16(w, byte % fat_sector_bytes);
    }
    case FS_FAT32: {
        const std::uint32_t byte = clst * 4;
        if (move_window(fs, fs->fatbase + byte / fat_sector_bytes) != FR_OK)
            return read_error;
        // The top four bits of a FAT32 entry are reserved.
        return le32(w, byte % fat_sector_bytes) & 0x0FFFFFFF;
    }
    default:
        return 1;
    }
}

bool is_end_of_chain(const FATFS* fs, std::uint32_t value)
{
    switch (fs->fs_type) {
    case FS_FAT12:
        return value >= 0xFF8;
    case FS_FAT16:
        return value >= 0xFFF8;
    default:
        return value >= 0x0FFFFFF8;
    }
}

bool is_in_chain(const FATFS* fs, std::uint32_t value)
{
    return (value >= 2 && value < fs->n_fatent) || (value != 0xFFFFFFFF && is_end_of_chain(fs, value));
}

bool is_in_use(std::uint32_t value)
{
    return value != 0 && value != 0xFFFFFFFF;
}
