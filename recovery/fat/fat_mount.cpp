// Mounting: the table of logical drives, the mount counter, and finding and checking the
// FAT volume of logical drive 0 from the drive table's entry 0.
#include <atomic>
#include <span>

#include "disk/le.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"

FATFS fat_volume;

namespace {

// Boot sector (BIOS parameter block) fields.
constexpr std::size_t BS_55AA = 510;
constexpr std::size_t BPB_BytsPerSec = 11;
constexpr std::size_t BPB_SecPerClus = 13;
constexpr std::size_t BPB_RsvdSecCnt = 14;
constexpr std::size_t BPB_NumFATs = 16;
constexpr std::size_t BPB_RootEntCnt = 17;
constexpr std::size_t BPB_TotSec16 = 19;
constexpr std::size_t BPB_FATSz16 = 22;
constexpr std::size_t BPB_TotSec32 = 32;
constexpr std::size_t BPB_FATSz32 = 36;
constexpr std::size_t BPB_RootClus = 44;
constexpr std::size_t BS_FilSysType = 54;    // "FAT12   " / "FAT16   "
constexpr std::size_t BS_FilSysType32 = 82;  // "FAT32   "

// The largest cluster count whose numbers stay below the FAT32 reserved values
// (0x0FFFFFF7 bad cluster, 0x0FFFFFF8 and up end of chain).
constexpr std::uint64_t max_fat32_clusters = 0x0FFFFFF5;

std::atomic<FATFS*> fat_fs_table[fat_logical_drives];
std::atomic<std::uint16_t> mount_counter;

enum class boot_record { fat, other, none };

// Reads a sector straight into the window (the window itself never reads sector 0) and
// tells what kind of boot record it holds.
FRESULT examine_sector(FATFS* fs, std::uint32_t sector, boot_record* kind)
{
    fs->winsect = 0;
    if (disk_read(fs->drv, fs->win.data(), sector, 1) != RES_OK)
        return FR_DISK_ERR;
    const std::span<const std::uint8_t> b(fs->win);
    if (le16(b, BS_55AA) != 0xAA55)
        *kind = boot_record::none;
    else if ((b[BS_FilSysType] == 'F' && b[BS_FilSysType + 1] == 'A' && b[BS_FilSysType + 2] == 'T') ||
             (b[BS_FilSysType32] == 'F' && b[BS_FilSysType32 + 1] == 'A' && b[BS_FilSysType32 + 2] == 'T'))
        *kind = boot_record::fat;
    else
        *kind = boot_record::other;
    return FR_OK;
}

bool power_of_two(unsigned v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

// Checks the parameter block in fs->win of a volume starting at `first` and fills fs.
FRESULT read_parameters(FATFS* fs, std::uint32_t first)
{
    const std::span<const std::uint8_t> b(fs->win);
    if (le16(b, BPB_BytsPerSec) != fat_sector_bytes)
        return FR_NO_FILESYSTEM;
    std::uint32_t fat_sectors = le16(b, BPB_FATSz16);
    if (fat_sectors == 0)
        fat_sectors = le32(b, BPB_FATSz32);
    const unsigned n_fats = b[BPB_NumFATs];
    const unsigned csize = b[BPB_SecPerClus];
    const unsigned root_entries = le16(b, BPB_RootEntCnt);
    std::uint32_t total = le16(b, BPB_TotSec16);
    if (total == 0)
        total = le32(b, BPB_TotSec32);
    const unsigned reserved = le16(b, BPB_RsvdSecCnt);
    // 16 entries of 32 bytes fill a sector, so the fixed root must end on a sector.
    if ((n_fats != 1 && n_fats != 2) || !power_of_two(csize) || root_entries % 16 != 0 || reserved == 0)
        return FR_NO_FILESYSTEM;

    // 64-bit sums: the fields are free to hold anything on a damaged disk.
    const std::uint64_t system = reserved + std::uint64_t{fat_sectors} * n_fats + root_entries / 16;
    if (total < system)
        return FR_NO_FILESYSTEM;
    const std::uint64_t clusters = (total - system) / csize;
    // Every sector the module reads is a 32-bit absolute number; a volume reaching past
    // that could not be read whole.
    if (clusters == 0 || std::uint64_t{first} + total - 1 > 0xFFFFFFFFull)
        return FR_NO_FILESYSTEM;
    // The type follows from the cluster count alone, whatever the label at 54 or 82 says.
    std::uint8_t type = FS_FAT16;
    if (clusters < 4086)
        type = FS_FAT12;
    else if (clusters > 65525)
        type = FS_FAT32;
    if (clusters > max_fat32_clusters)
        return FR_NO_FILESYSTEM;

    const std::uint64_t n_fatent = clusters + 2;
    std::uint64_t fat_bytes = 0;
    if (type == FS_FAT32) {
        if (root_entries != 0)
            return FR_NO_FILESYSTEM;
        fs->dirbase = le32(b, BPB_RootClus);
        fat_bytes = n_fatent * 4;
    } else {
        if (root_entries == 0)
            return FR_NO_FILESYSTEM;
        fs->dirbase = static_cast<std::uint32_t>(first + reserved + std::uint64_t{fat_sectors} * n_fats);
        // FAT12 packs two entries into three bytes.
        fat_bytes = type == FS_FAT16 ? n_fatent * 2 : n_fatent * 3 / 2 + (n_fatent & 1);
    }
    if (fat_sectors < (fat_bytes + fat_sector_bytes - 1) / fat_sector_bytes)
        return FR_NO_FILESYSTEM;

    fs->csize = static_cast<std::uint8_t>(csize);
    fs->n_fats = static_cast<std::uint8_t>(n_fats);
    fs->n_rootdir = static_cast<std::uint16_t>(root_entries);
    fs->n_fatent = static_cast<std::uint32_t>(n_fatent);
    fs->fsize = fat_sectors;
    fs->fatbase = first + reserved;
    fs->database = static_cast<std::uint32_t>(first + system);
    fs->wflag = 0;
    fs->id = ++mount_counter;
    fs->fs_type = type;
    fs->winsect = 0;
    return FR_OK;
}

// Reads the logical drive number at the start of a path ("N:"), moving the path past it.
int logical_drive(const char** path)
{
    const char* p = *path;
    int vol = 0;
    int digits = 0;
    for (; p[digits] >= '0' && p[digits] <= '9' && digits < 3; ++digits)
        vol = vol * 10 + (p[digits] - '0');
    if (digits == 0 || p[digits] != ':')
        return 0;
    *path = p + digits + 1;
    return vol;
}

}  // namespace

FRESULT f_mount(std::uint8_t vol, FATFS* fs)
{
    if (vol >= fat_logical_drives)
        return FR_INVALID_DRIVE;
    if (fs)
        fs->fs_type = 0;
    fat_fs_table[vol] = fs;
    return FR_OK;
}

FATFS* registered_volume(const char* path)
{
    const int vol = logical_drive(&path);
    return vol < fat_logical_drives ? fat_fs_table[vol].load() : nullptr;
}

FRESULT mount_volume(const char** path, FATFS** rfs)
{
    const int vol = logical_drive(path);
    if (vol >= fat_logical_drives)
        return FR_INVALID_DRIVE;
    FATFS* fs = fat_fs_table[vol];
    *rfs = fs;
    if (!fs)
        return FR_NOT_ENABLED;
    if (fs->fs_type != 0 && !(fat_drive_status(fs->drv) & STA_NOINIT))
        return FR_OK;

    fs->fs_type = 0;
    const volume_partition_s where = fs->where ? *fs->where : volume_partition_table[0];
    fs->drv = where.disk_number;
    if (disk_initialize(fs->drv) & STA_NOINIT)
        return FR_NOT_READY;

    // Sector 0 is either the volume's own boot sector or a master boot record (another
    // boot record). A FAT boot sector there still belongs to some other volume when the
    // volume to mount is a partition, so then the partition's own start is taken.
    boot_record kind = boot_record::none;
    if (FRESULT res = examine_sector(fs, 0, &kind); res != FR_OK)
        return res;
    std::uint32_t first = 0;
    if (kind == boot_record::other || (kind == boot_record::fat && where.partition_flag != 0)) {
        first = where.start_sector;
        if (FRESULT res = examine_sector(fs, first, &kind); res != FR_OK)
            return res;
    }
    if (kind != boot_record::fat)
        return FR_NO_FILESYSTEM;
    return read_parameters(fs, first);
}

FRESULT validate_object(const FATFS* fs, std::uint16_t id)
{
    if (!fs || fs->fs_type == 0 || fs->id != id)
        return FR_INVALID_OBJECT;
    if (fat_drive_status(fs->drv) & STA_NOINIT)
        return FR_NOT_READY;
    return FR_OK;
}
