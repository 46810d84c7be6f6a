#pragma once
// The read-only FAT12/16/32 module under the FAT recovery engine. It reads a volume sector
// by sector through the FAT drive table, so that it sees what a file system driver hides:
// directory reads report deleted entries (marked with attribute bit 0x40), the file
// information carries the first cluster and the creation stamp, and a file can be read as
// clusters that follow one another on the disk instead of along its (freed) FAT chain.
//
// Logical drive 0 is the volume that set_fat_volume() chose last, or the one a FATFS names
// itself (its `where`, as the FAT engine sets it). The caller registers a FATFS with
// f_mount(); the first f_opendir() mounts it. DIR and FIL objects belong to the mount they
// were opened under: a new mount makes them invalid (FR_INVALID_OBJECT).
//
// Each FATFS carries the lock of its mounted volume: f_opendir, f_readdir and f_read hold
// it while they use the volume's window and read its sectors, so that several threads (a
// recovery and a preview) may read one volume at once. Each DIR and FIL is used by one
// thread.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "recovery/fat/fat_drive_table.h"

// Results of the module's operations.
enum FRESULT {
    FR_OK = 0,
    FR_DISK_ERR = 1,          // a sector could not be read
    FR_INT_ERR = 2,           // inconsistency: a cluster out of range, or a free cluster in a chain
    FR_NOT_READY = 3,         // the drive does not answer
    FR_NO_FILE = 4,           // no more entries
    FR_NO_PATH = 5,           // the directory to open is not there
    FR_DENIED = 7,            // the file is not open for reading
    FR_INVALID_OBJECT = 9,    // not mounted, or mounted again since the object was opened
    FR_INVALID_DRIVE = 11,    // logical drive number above 9
    FR_NOT_ENABLED = 12,      // no FATFS registered for the logical drive
    FR_NO_FILESYSTEM = 13,    // no valid FAT volume with 512-byte sectors
    FR_NOT_ENOUGH_CORE = 17,  // no memory for the long-name working buffer
};

constexpr int fat_logical_drives = 10;
constexpr std::uint32_t fat_sector_bytes = 512;
constexpr int fat_lfn_chars = 256;  // long-name working buffer, in wide characters

// fs_type values.
constexpr std::uint8_t FS_FAT12 = 1;
constexpr std::uint8_t FS_FAT16 = 2;
constexpr std::uint8_t FS_FAT32 = 3;

// Attribute bits of a directory entry, and the mark this module adds for a deleted entry.
constexpr std::uint8_t AM_RDO = 0x01;
constexpr std::uint8_t AM_HID = 0x02;
constexpr std::uint8_t AM_SYS = 0x04;
constexpr std::uint8_t AM_VOL = 0x08;
constexpr std::uint8_t AM_LFN = 0x0F;
constexpr std::uint8_t AM_DIR = 0x10;
constexpr std::uint8_t AM_ARC = 0x20;
constexpr std::uint8_t AM_DELETED = 0x40;

// FIL flag bits.
constexpr std::uint8_t FA_READ = 0x01;
constexpr std::uint8_t FA_ERROR = 0x80;

// The file-system object of one logical drive.
struct FATFS {
    std::uint8_t fs_type = 0;                          // 0 not mounted, FS_FAT12, FS_FAT16 or FS_FAT32
    std::uint8_t drv = 0;                              // physical drive number
    std::uint8_t csize = 0;                            // sectors per cluster
    std::uint8_t n_fats = 0;                           // 1 or 2
    std::uint8_t wflag = 0;                            // always 0: nothing is written
    std::uint16_t id = 0;                              // mount number
    std::uint16_t n_rootdir = 0;                       // fixed root directory entries (0 on FAT32)
    std::uint32_t n_fatent = 0;                        // clusters + 2
    std::uint32_t fsize = 0;                           // sectors per FAT
    std::uint32_t fatbase = 0;                         // first sector of the first FAT, absolute on the drive
    std::uint32_t dirbase = 0;                         // first sector of the fixed root, or on FAT32 its first cluster
    std::uint32_t database = 0;                        // first sector of cluster 2, absolute
    std::uint32_t winsect = 0;                         // sector held in win; 0 none
    std::array<std::uint8_t, fat_sector_bytes> win{};  // one directory or FAT sector
    // Where the volume lies; none: volume_partition_table[0] at the time of the mount.
    std::optional<volume_partition_s> where;
    std::mutex lock;  // held by every operation that uses this volume
};

// A directory being read.
struct DIR {
    FATFS* fs = nullptr;
    std::uint16_t id = 0;            // fs->id when opened
    std::uint16_t index = 0;         // current 32-byte entry
    std::uint32_t sclust = 0;        // first cluster; 0 the fixed root of FAT12/16 (FAT32: the root)
    std::uint32_t clust = 0;         // current cluster
    std::uint32_t sect = 0;          // current sector; 0 the end has been reached
    std::uint8_t* dir = nullptr;     // the current entry inside fs->win
    std::uint8_t* fn = nullptr;      // 8.3 name buffer of name lookups; not used
    char16_t* lfn = nullptr;         // long-name working buffer during f_readdir
    std::uint16_t lfn_idx = 0xFFFF;  // first entry of the current long name; 0xFFFF none
    std::uint16_t deleted = 0;       // 1 when the entry just read is deleted
    // The first name byte of the deleted entry just read, as its long name's checksum gives
    // it back; 0 when the entry is not deleted or has no long name that checks out.
    std::uint8_t restored_first = 0;
    // Set for a deleted folder, whose FAT chain was freed: at the end of each cluster the
    // directory goes on into the cluster after it while that one is free too and reads as
    // directory entries (a chain still in the FAT is followed under the same check). Its
    // first cluster is read only when it reads as directory entries.
    std::uint8_t contiguous = 0;
};

// What a directory read gives for one entry.
struct FILINFO {
    std::uint32_t fsize = 0;
    std::uint32_t fclust = 0;  // first cluster
    std::uint16_t fdate = 0;   // last change
    std::uint16_t ftime = 0;
    std::uint16_t crdate = 0;  // creation
    std::uint16_t crtime = 0;
    std::uint8_t fattrib = 0;    // entry attribute byte, with AM_DELETED for a deleted entry
    char16_t fname[13] = {};     // 8.3 name, NUL-terminated; empty at the end of the directory
    char16_t* lfname = nullptr;  // caller's buffer for the long name
    std::int32_t lfsize = 0;     // its size in wide characters
};

// A file being read.
struct FIL {
    FATFS* fs = nullptr;
    std::uint16_t id = 0;
    std::uint8_t flag = 0;   // FA_READ; FA_ERROR after a failure, every later read fails
    std::uint8_t csect = 0;  // not used
    std::uint32_t fptr = 0;  // read position
    std::uint32_t fsize = 0;
    std::uint32_t org_clust = 0;  // first cluster
    std::uint32_t curr_clust = 0;
    std::uint32_t dsect = 0;  // sector held in buf; 0 none
    std::array<std::uint8_t, fat_sector_bytes> buf{};
};

// The file-system object that the FAT engine mounts as logical drive 0.
extern FATFS fat_volume;

// Registers fs (or none) for a logical drive and marks it not mounted, so that the next
// access mounts again. FR_INVALID_DRIVE above 9.
FRESULT f_mount(std::uint8_t vol, FATFS* fs);

// Opens the root directory ("/", "\" or "", optionally after "N:"). Other paths are not
// looked up: FR_NO_PATH. On any error dj is left unusable.
FRESULT f_opendir(DIR* dj, const char* path);

// Reads the next reported entry into fno; fno->fname is empty at the end. With fno null,
// rewinds dj to the first entry of dj->sclust. Every call moves on by at least one entry or
// ends the directory, and a directory ends after at most 65536 entries, so a looping chain
// cannot keep a caller reading forever.
FRESULT f_readdir(DIR* dj, FILINFO* fno);

// Reads up to btr bytes at fp->fptr. With contiguous set the file's clusters are taken to
// follow one another from org_clust on, and the FAT is never read.
FRESULT f_read(FIL* fp, void* buff, std::uint32_t btr, std::uint32_t* br, bool contiguous);

// A free cluster that begins a directory: its first entries are "." naming the cluster
// itself and "..", so it is the first cluster of a folder whose entry may be gone.
struct directory_start_s {
    std::uint32_t cluster = 0;
    std::uint32_t parent = 0;  // the ".." entry's cluster; 0 the root
    std::uint16_t fdate = 0;   // the "." entry's last change and creation stamps
    std::uint16_t ftime = 0;
    std::uint16_t crdate = 0;
    std::uint16_t crtime = 0;
};

// Appends every free cluster of the mounted volume that begins a directory, in cluster
// order. go_on() is asked before each read; false ends the search with what it found.
FRESULT find_directory_starts(FATFS* fs, std::uint16_t id, std::vector<directory_start_s>& out,
                              const std::function<bool()>& go_on);

// The module's inner steps, shared by its source files and open to tests.

// The object registered for the logical drive that path names; nullptr when none.
FATFS* registered_volume(const char* path);
// Mounts the logical drive that path names (if not mounted) and gives its object.
FRESULT mount_volume(const char** path, FATFS** rfs);
// FR_OK when fs is mounted under mount number id and its drive answers.
FRESULT validate_object(const FATFS* fs, std::uint16_t id);
// Brings a sector into fs->win. Sector 0 is never read through the window.
FRESULT move_window(FATFS* fs, std::uint32_t sector);
// First sector of cluster clst; 0 when clst is not a data cluster of the volume.
std::uint32_t clust2sect(const FATFS* fs, std::uint32_t clst);
// FAT entry of cluster clst: 1 when clst is out of range, 0xFFFFFFFF on a read error.
std::uint32_t get_fat(FATFS* fs, std::uint32_t clst);
// Whether a FAT value marks the end of a chain for the volume's FAT type.
bool is_end_of_chain(const FATFS* fs, std::uint32_t value);
// Whether a FAT value (as get_fat gives it) puts its cluster in a chain: the next cluster
// of the volume, or the end mark. Free (0), bad-cluster marks, reserved values and read
// errors do not.
bool is_in_chain(const FATFS* fs, std::uint32_t value);
// Whether a FAT value (as get_fat gives it) marks its cluster as taken: anything but free
// (0) or a read error, so a chain's link or end, a bad-cluster mark or a reserved value.
bool is_in_use(std::uint32_t value);

// Whether the data cluster clst reads as directory entries: every entry up to the first
// never-used one could have been written by a file system (a long-name part, or an 8.3
// entry with a valid name and attribute byte).
bool holds_directory_entries(FATFS* fs, std::uint32_t clst);

// Directory position: rewind to dj->sclust, and step to the next entry.
FRESULT dir_rewind(DIR* dj);
FRESULT dir_next(DIR* dj);
// Finds the next entry to report, assembling its long name into dj->lfn (none without it).
FRESULT dir_read(DIR* dj);
// Fills fno from the entry that dir_read found (or an empty name at the end).
void get_fileinfo(const DIR* dj, FILINFO* fno);
