// The partition search: reads the whole drive 256 sectors at a time and recognises NTFS
// and FAT32 boot sectors wherever they lie.
#include <QMutexLocker>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "disk/le.h"
#include "disk/partition_repair.h"
#include "disk/raw_disk.h"

namespace {

constexpr std::uint64_t sector_max = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t examined_sectors = partition_repair_c::read_sectors - 1;

// Offsets in a boot sector.
constexpr std::size_t BS_OEMName = 3;
constexpr std::size_t BPB_BytsPerSec = 11;
constexpr std::size_t BPB_SecPerClus = 13;
constexpr std::size_t BPB_RsvdSecCnt = 14;
constexpr std::size_t BPB_NumFATs = 16;
constexpr std::size_t BPB_TotSec32 = 32;  // FAT32 total sector count
constexpr std::size_t BPB_FATSz32 = 36;
constexpr std::size_t BS_FilSysType32 = 82;     // "FAT32   " on a FAT32 volume
constexpr std::size_t NTFS_TotalSectors = 40;   // NTFS total sector count, 64 bits
constexpr std::size_t EXFAT_VolumeLength = 72;  // 64 bits, in the volume's own sectors
constexpr std::size_t EXFAT_VolumeFlags = 106;  // two bytes left out of the boot checksum
constexpr std::size_t EXFAT_BytesPerSectorShift = 108;
constexpr std::size_t EXFAT_PercentInUse = 112;  // left out of the boot checksum
constexpr std::size_t BS_Signature = 510;

// An exFAT boot region: the boot sector, eight extended boot sectors, the OEM parameters,
// a reserved sector, and in sector 11 the checksum of the eleven before it, repeated.
constexpr std::size_t exfat_checksum_sector = 11;
constexpr std::size_t exfat_max_sector_bytes = 4096;
constexpr std::size_t exfat_region_max = (exfat_checksum_sector + 1) * exfat_max_sector_bytes;

bool is_power_of_two(unsigned v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

// A count of sectors of `bytes` bytes as 512-byte sectors, saturating.
std::uint64_t in_512_sectors(std::uint64_t count, std::uint64_t bytes)
{
    const std::uint64_t scale = bytes / 512;
    return count > std::numeric_limits<std::uint64_t>::max() / scale ? std::numeric_limits<std::uint64_t>::max()
                                                                     : count * scale;
}

// NTFS's own sector size; a boot sector that names no usable one counts 512-byte sectors.
std::uint64_t ntfs_sector_bytes(std::span<const std::uint8_t, 512> sector)
{
    const unsigned bytes = le16(sector, BPB_BytsPerSec);
    return bytes >= 512 && bytes <= 4096 && is_power_of_two(bytes) ? bytes : 512;
}

bool has_boot_signature(std::span<const std::uint8_t, 512> s)
{
    return s[BS_Signature] == 0x55 && s[BS_Signature + 1] == 0xAA;
}

// a + b, or the largest sector number when the sum does not fit.
std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b)
{
    return b > sector_max - a ? sector_max : a + b;
}

struct aligned_free {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

}  // namespace

bool partition_repair_c::is_ntfs_boot_sector(std::span<const std::uint8_t, 512> sector)
{
    return has_boot_signature(sector) && std::memcmp(sector.data() + BS_OEMName, "NTFS    ", 8) == 0;
}

bool partition_repair_c::is_fat32_boot_sector(std::span<const std::uint8_t, 512> sector,
                                              std::span<const std::uint8_t, 512> next_sector)
{
    // A FAT32 boot sector is told by its structure, not by its OEM name, which every
    // formatter fills in its own way. The FSInfo sector that follows it ends in the same
    // signature.
    if (!has_boot_signature(sector) || !has_boot_signature(next_sector))
        return false;
    if (std::memcmp(sector.data() + BS_FilSysType32, "FAT32   ", 8) != 0)
        return false;
    const unsigned bytes_per_sector = le16(sector, BPB_BytsPerSec);
    return (bytes_per_sector == 512 || bytes_per_sector == 1024 || bytes_per_sector == 2048 ||
            bytes_per_sector == 4096) &&
           is_power_of_two(sector[BPB_SecPerClus]) && le16(sector, BPB_RsvdSecCnt) >= 1 &&
           (sector[BPB_NumFATs] == 1 || sector[BPB_NumFATs] == 2) && le32(sector, BPB_FATSz32) != 0 &&
           le32(sector, BPB_TotSec32) != 0;
}

std::size_t partition_repair_c::exfat_sector_bytes(std::span<const std::uint8_t, 512> sector)
{
    if (!has_boot_signature(sector) || std::memcmp(sector.data() + BS_OEMName, "EXFAT   ", 8) != 0)
        return 0;
    const unsigned shift = sector[EXFAT_BytesPerSectorShift];
    return shift >= 9 && shift <= 12 ? std::size_t{1} << shift : 0;
}

bool partition_repair_c::is_exfat_boot_region(std::span<const std::uint8_t> region)
{
    if (region.size() < 512)
        return false;
    const std::size_t bytes = exfat_sector_bytes(region.first<512>());
    if (bytes == 0 || region.size() < (exfat_checksum_sector + 1) * bytes)
        return false;
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < exfat_checksum_sector * bytes; ++k) {
        if (k == EXFAT_VolumeFlags || k == EXFAT_VolumeFlags + 1 || k == EXFAT_PercentInUse)
            continue;
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + region[k];
    }
    for (std::size_t k = exfat_checksum_sector * bytes; k < (exfat_checksum_sector + 1) * bytes; k += 4)
        if (le32(region, k) != sum)
            return false;
    return true;
}

// Reads `count` sectors from `sector` on. When the drive fails the whole read, each sector
// is read on its own: the readable ones are kept, the unreadable ones read as zeros (which
// hold no boot sector) and are recorded as bad. Returns the bytes read, short at the end of
// the drive, or -1 when the position cannot be set.
std::int64_t partition_repair_c::read_block(raw_disk& disk, std::uint64_t sector, std::size_t count, std::uint8_t* buf)
{
    if (!disk.seek(sector * 512))
        return -1;
    std::int64_t got = disk.read(buf, count * 512);
    if (got >= 0)
        return got;

    got = 0;
    for (std::size_t s = 0; s < count; ++s) {
        std::uint8_t* one = buf + s * 512;
        if (!disk.seek((sector + s) * 512))
            return -1;
        const std::int64_t r = disk.read(one, 512);
        if (r == 512) {
            got += 512;
            continue;
        }
        if (r >= 0)
            break;  // the end of the drive
        std::memset(one, 0, 512);
        got += 512;
        QMutexLocker g(&lock_);
        const std::uint64_t bad = sector + s;
        if (!bad_.isEmpty() && bad_.last().first_sector + bad_.last().sector_count > bad)
            continue;  // read again after a refill, already counted
        if (!bad_.isEmpty() && bad_.last().first_sector + bad_.last().sector_count == bad)
            ++bad_.last().sector_count;
        else
            bad_.append({bad, 1});
    }
    return got;
}

int partition_repair_c::scan_drive(const drive_item_s& drive)
{
    {
        QMutexLocker g(&lock_);
        found_.clear();
        bad_.clear();
    }
    stopped_ = false;
    bytes_read_ = 0;

    raw_disk disk;
    if (!disk.open(drive.path, device_access::read))
        return -1;

    const std::uint64_t size = drive.size;
    // The search walks the drive in 512-byte sectors and reports the drive's own sectors:
    // `unit` of ours make one of a 4K-sector drive.
    const std::uint64_t unit = drive_sector_bytes(drive) / 512;
    // i x 512 is not below size.
    const auto past_end = [size](std::uint64_t sector) { return size == 0 || sector > (size - 1) / 512; };

    void* raw = nullptr;
    if (::posix_memalign(&raw, 4096, buffer_sectors * 512) != 0)
        return -1;
    std::unique_ptr<std::uint8_t, aligned_free> holder(static_cast<std::uint8_t*>(raw));
    std::uint8_t* const held = holder.get();
    // The buffer holds the sectors [held_first, held_first + held_count). Each window of 256
    // sectors is examined from it; only a window that reaches past it makes the next read.
    std::uint64_t held_first = 0;
    std::uint64_t held_count = 0;

    std::uint64_t i = 0;  // the first sector of the window
    for (;;) {
        if (stop_requested_.load()) {
            stopped_ = true;
            return 0;  // progress keeps its last value; the drive closes with `disk`
        }

        if (i < held_first || i + read_sectors > held_first + held_count) {
            // A window that lies wholly in a hole of an image file reads as zeros and holds
            // no boot sector: step over every such window at once, landing exactly where
            // reading them one by one would have.
            const std::uint64_t data = disk.next_data(i * 512);
            const std::uint64_t data_sector = data / 512;
            if (data_sector >= i + read_sectors) {
                const std::uint64_t windows = (data_sector - i - read_sectors) / examined_sectors + 1;
                i = saturating_add(i, windows * examined_sectors);
                if (past_end(i))
                    break;
                progress_ = static_cast<double>(i) * 512.0 / static_cast<double>(size);
                continue;
            }

            // Reads start on a 4 KiB boundary, as unbuffered devices want them.
            held_first = i & ~std::uint64_t{7};
            const std::int64_t got = read_block(disk, held_first, buffer_sectors, held);
            held_count = got > 0 ? static_cast<std::uint64_t>(got) / 512 : 0;
            if (got > 0)
                bytes_read_ += static_cast<std::uint64_t>(got);
            // A window of fewer than 256 sectors at the end of the drive is not examined.
            if (i + read_sectors > held_first + held_count)
                break;
        }
        std::uint8_t* const buf = held + (i - held_first) * 512;
        const std::size_t buf_bytes = static_cast<std::size_t>(held_first + held_count - i) * 512;

        std::size_t hit = examined_sectors;
        enum { ntfs, fat32, exfat } kind = ntfs;
        std::uint64_t length = 0;
        for (std::size_t j = 0; j < examined_sectors; ++j) {
            const std::span<const std::uint8_t, 512> sec(buf + j * 512, 512);
            if (sec[BS_Signature] != 0x55)
                continue;
            if (is_ntfs_boot_sector(sec)) {
                // NTFS counts its sectors without the backup boot sector it keeps right
                // after them.
                kind = ntfs;
                length = in_512_sectors(saturating_add(le64(sec, NTFS_TotalSectors), 1), ntfs_sector_bytes(sec));
            } else if (is_fat32_boot_sector(sec, std::span<const std::uint8_t, 512>(buf + (j + 1) * 512, 512))) {
                kind = fat32;
                length = in_512_sectors(le32(sec, BPB_TotSec32), le16(sec, BPB_BytsPerSec));
            } else if (const std::size_t bytes = exfat_sector_bytes(sec);
                       bytes != 0 && exfat_region_holds(disk, i + j, buf + j * 512, buf_bytes - j * 512)) {
                kind = exfat;
                length = in_512_sectors(le64(sec, EXFAT_VolumeLength), bytes);
            } else {
                continue;
            }
            hit = j;
            break;
        }

        if (hit == examined_sectors) {
            // The window's last sector, examined only as the one after sector 254, becomes
            // the first of the next window.
            i += examined_sectors;
        } else {
            if (past_end(i))
                break;
            const std::uint64_t start = i + hit;
            if (length == 0 || start % unit != 0) {
                // A boot sector that claims no sectors is no partition, nor is one that does
                // not start on one of the drive's own sectors; moving on by one sector keeps
                // the search from finding it again forever.
                i = start + 1;
            } else {
                partition_item_s item;
                item.file_system = kind == ntfs    ? QStringLiteral("NTFS")
                                   : kind == fat32 ? QStringLiteral("FAT32")
                                                   : QStringLiteral("exFAT");
                item.type = kind == fat32 ? 12 : 7;
                const std::uint64_t end = saturating_add(start, length - 1);
                item.start_sector = start / unit;
                item.end_sector = end / unit;
                append_found(item);
                emit partition_found();
                // Go on right after the partition: its backup boot sectors are not found again.
                i = saturating_add(end, 1);
                if (i > static_cast<std::uint64_t>(INT64_MAX) / 512)
                    break;
            }
        }

        if (past_end(i))
            break;
        progress_ = static_cast<double>(i) * 512.0 / static_cast<double>(size);
    }

    progress_ = 1.0;
    return 0;
}

bool partition_repair_c::exfat_region_holds(raw_disk& disk, std::uint64_t sector, const std::uint8_t* held,
                                            std::size_t held_bytes)
{
    // The boot region is checked from the buffer when it lies there whole; otherwise it is
    // read on its own. The next block's read sets the position again.
    const std::size_t bytes = exfat_sector_bytes(std::span<const std::uint8_t, 512>(held, 512));
    const std::size_t region = (exfat_checksum_sector + 1) * bytes;
    if (region <= held_bytes)
        return is_exfat_boot_region(std::span<const std::uint8_t>(held, region));
    std::vector<std::uint8_t> own(exfat_region_max);
    if (!disk.seek(sector * 512) || disk.read(own.data(), region) != static_cast<std::int64_t>(region))
        return false;
    return is_exfat_boot_region(std::span<const std::uint8_t>(own.data(), region));
}

void partition_repair_c::append_found(const partition_item_s& item)
{
    QMutexLocker g(&lock_);
    found_.append(item);
}
