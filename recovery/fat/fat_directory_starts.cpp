// Finding directories that no folder names any more: the free clusters that begin the way
// every subdirectory begins, with a "." entry naming the cluster itself and a ".." entry.
#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

#include "disk/le.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_entry_layout.h"
#include "recovery/fat/fat_module.h"

namespace {

using namespace fat_entry_layout;
constexpr std::uint32_t max_transfer = 128;  // sectors that one read of the drive table carries

std::uint32_t entry_cluster(const FATFS* fs, std::span<const std::uint8_t> e)
{
    std::uint32_t c = le16(e, DIR_FstClusLO);
    if (fs->fs_type == FS_FAT32)
        c |= std::uint32_t{le16(e, DIR_FstClusHI)} << 16;
    return c;
}

bool is_folder_named(std::span<const std::uint8_t> e, std::string_view name)
{
    return std::equal(name.begin(), name.end(), e.begin()) && (e[DIR_Attr] & AM_DIR);
}

}  // namespace

FRESULT find_directory_starts(FATFS* fs, std::uint16_t id, std::vector<directory_start_s>& out,
                              const std::function<bool()>& go_on)
{
    const std::lock_guard<std::mutex> g(fs->lock);
    const FRESULT res = validate_object(fs, id);
    if (res != FR_OK)
        return res;
    // Small clusters are read a run of free ones at a time; of a large one only its first
    // sector is read.
    const std::uint32_t per_read = fs->csize >= 16 ? 1 : max_transfer / fs->csize;
    std::vector<std::uint8_t> buf(max_transfer * fat_sector_bytes);
    for (std::uint32_t c = 2; c < fs->n_fatent;) {
        if (!go_on())
            break;
        std::uint32_t n = 0;
        for (; n < per_read && c + n < fs->n_fatent; ++n) {
            const std::uint32_t v = get_fat(fs, c + n);
            if (v == 0xFFFFFFFF)
                return FR_DISK_ERR;
            if (v != 0)
                break;
        }
        if (n == 0) {
            ++c;
            continue;
        }
        const std::uint32_t sectors = per_read == 1 ? 1 : n * fs->csize;
        // An unreadable run is passed over; the search goes on after it.
        if (disk_read(fs->drv, buf.data(), clust2sect(fs, c), static_cast<std::uint8_t>(sectors)) == RES_OK) {
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::span<const std::uint8_t> first(buf.data() + std::size_t{k} * fs->csize * fat_sector_bytes,
                                                          fat_sector_bytes);
                const std::span<const std::uint8_t> dot = first.subspan(0, entry_bytes);
                const std::span<const std::uint8_t> dotdot = first.subspan(entry_bytes, entry_bytes);
                if (!is_folder_named(dot, ".          ") || entry_cluster(fs, dot) != c + k ||
                    !is_folder_named(dotdot, "..         "))
                    continue;
                out.push_back({c + k, entry_cluster(fs, dotdot), le16(dot, DIR_WrtDate), le16(dot, DIR_WrtTime),
                               le16(dot, DIR_CrtDate), le16(dot, DIR_CrtTime)});
            }
        }
        c += n;
    }
    return FR_OK;
}
