// The partition search: reads the whole drive 256 sectors at a time and recognises NTFS
// and FAT32 boot sectors wherever they lie.
#include <QMutexLocker>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "disk/le.h"
#include "disk/partition_repair.h"
#include "disk/raw_disk.h"

namespace {

constexpr std::uint64_t sector_max = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t examined_sectors = partition_repair_c::read_sectors - 1;

// Offsets in a boot sector.
constexpr std::size_t BS_OEMName = 3;
constexpr std::size_t BPB_TotSec32 = 32;     // FAT32 total sector count
constexpr std::size_t NTFS_TotalSectors = 40;  // NTFS total sector count, 64 bits
constexpr std::size_t BS_Signature = 510;

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
    // The FSInfo sector that follows a FAT32 boot sector ends in the same signature. Only the
    // first five bytes of the OEM name are compared, so MSWIN4.1 and MSDOS5.0 both pass.
    if (!has_boot_signature(sector) || !has_boot_signature(next_sector))
        return false;
    return std::memcmp(sector.data() + BS_OEMName, "MSWIN", 5) == 0 ||
           std::memcmp(sector.data() + BS_OEMName, "MSDOS", 5) == 0;
}

// Reads the 256 sectors from `sector` on. When the drive fails the whole read, each sector
// is read on its own: the readable ones are kept, the unreadable ones read as zeros (which
// hold no boot sector) and are recorded as bad. Returns the bytes read, short at the end of
// the drive, or -1 when the position cannot be set.
std::int64_t partition_repair_c::read_block(raw_disk& disk, std::uint64_t sector, std::uint8_t* buf)
{
    if (!disk.seek(sector * 512))
        return -1;
    std::int64_t got = disk.read(buf, read_bytes);
    if (got >= 0)
        return got;

    got = 0;
    for (std::size_t s = 0; s < read_sectors; ++s) {
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
            continue;  // the overlap sector, already counted by the previous block
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
    // i x 512 is not below size.
    const auto past_end = [size](std::uint64_t sector) { return size == 0 || sector > (size - 1) / 512; };

    void* raw = nullptr;
    if (::posix_memalign(&raw, 4096, read_bytes) != 0)
        return -1;
    std::unique_ptr<std::uint8_t, aligned_free> holder(static_cast<std::uint8_t*>(raw));
    std::uint8_t* const buf = holder.get();

    std::uint64_t i = 0;  // the first sector in the buffer
    for (;;) {
        if (stop_requested_.load()) {
            stopped_ = true;
            return 0;  // progress keeps its last value; the drive closes with `disk`
        }

        // A window that lies wholly in a hole of an image file reads as zeros and holds no
        // boot sector: step over every such window at once, landing exactly where reading
        // them one by one would have.
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

        const std::int64_t got = read_block(disk, i, buf);
        if (got > 0)
            bytes_read_ += static_cast<std::uint64_t>(got);
        if (got < static_cast<std::int64_t>(read_bytes))
            break;

        std::size_t hit = examined_sectors;
        bool ntfs = false;
        for (std::size_t j = 0; j < examined_sectors; ++j) {
            const std::span<const std::uint8_t, 512> sec(buf + j * 512, 512);
            if (sec[BS_Signature] != 0x55)
                continue;
            if (is_ntfs_boot_sector(sec)) {
                hit = j;
                ntfs = true;
                break;
            }
            if (is_fat32_boot_sector(sec, std::span<const std::uint8_t, 512>(buf + (j + 1) * 512, 512))) {
                hit = j;
                break;
            }
        }

        if (hit == examined_sectors) {
            // The buffer's last sector becomes the first of the next read.
            i += examined_sectors;
        } else {
            const std::span<const std::uint8_t> sec(buf + hit * 512, 512);
            // NTFS counts its sectors without the backup boot sector it keeps right after them.
            const std::uint64_t length =
                ntfs ? saturating_add(le64(sec, NTFS_TotalSectors), 1) : le32(sec, BPB_TotSec32);
            if (past_end(i))
                break;
            const std::uint64_t start = i + hit;
            if (length == 0) {
                // A boot sector that claims no sectors is no partition; moving on by one
                // sector keeps the search from finding it again forever.
                i = start + 1;
            } else {
                partition_item_s item;
                item.file_system = ntfs ? QStringLiteral("NTFS") : QStringLiteral("FAT32");
                item.type = ntfs ? 7 : 12;
                item.start_sector = start;
                item.end_sector = saturating_add(start, length - 1);
                append_found(item);
                emit partition_found();
                // Go on right after the partition: its backup boot sectors are not found again.
                i = saturating_add(item.end_sector, 1);
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

void partition_repair_c::append_found(const partition_item_s& item)
{
    QMutexLocker g(&lock_);
    found_.append(item);
}
