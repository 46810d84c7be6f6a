// Reading a file: whole sectors straight into the caller's buffer, partial sectors through
// the file's own sector buffer, cluster by cluster along the FAT chain or, for a deleted
// file whose FAT entries have been freed, along the clusters that follow the first one.
#include <cstring>

#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"

namespace {

FRESULT fail(FIL* fp, FRESULT res)
{
    fp->flag |= FA_ERROR;
    return res;
}

FRESULT read_file(FIL* fp, void* buff, std::uint32_t btr, std::uint32_t* br, bool contiguous)
{
    *br = 0;
    FRESULT res = validate_object(fp->fs, fp->id);
    if (res != FR_OK)
        return res;
    if (fp->flag & FA_ERROR)
        return FR_INT_ERR;
    if (!(fp->flag & FA_READ))
        return FR_DENIED;
    FATFS* fs = fp->fs;
    // A position past the size (only a hand-built object can have one) leaves nothing.
    const std::uint32_t left = fp->fptr < fp->fsize ? fp->fsize - fp->fptr : 0;
    if (btr > left)
        btr = left;

    auto* out = static_cast<std::uint8_t*>(buff);
    while (btr != 0) {
        const std::uint32_t offset = fp->fptr % fat_sector_bytes;
        if (offset == 0) {
            const std::uint32_t cs = (fp->fptr / fat_sector_bytes) & (fs->csize - 1u);
            if (cs == 0) {
                std::uint32_t clst = 0;
                if (fp->fptr == 0)
                    clst = fp->org_clust;
                else if (contiguous)
                    clst = fp->curr_clust + 1;
                else
                    clst = get_fat(fs, fp->curr_clust);
                if (clst < 2)
                    return fail(fp, FR_INT_ERR);
                if (clst == 0xFFFFFFFF)
                    return fail(fp, FR_DISK_ERR);
                fp->curr_clust = clst;
            }
            // Past the volume's last cluster (an end-of-chain mark, or a contiguous read
            // running off the end) there is no sector.
            std::uint32_t sect = clust2sect(fs, fp->curr_clust);
            if (sect == 0)
                return fail(fp, FR_INT_ERR);
            sect += cs;
            if (btr >= fat_sector_bytes) {
                // Whole sectors, at most to the cluster's end: never more than 128 sectors,
                // which one transfer of the drive table can carry.
                std::uint32_t n = btr / fat_sector_bytes;
                if (cs + n > fs->csize)
                    n = fs->csize - cs;
                if (disk_read(fs->drv, out, sect, static_cast<std::uint8_t>(n)) != RES_OK)
                    return fail(fp, FR_DISK_ERR);
                const std::uint32_t bytes = n * fat_sector_bytes;
                fp->fptr += bytes;
                out += bytes;
                *br += bytes;
                btr -= bytes;
                continue;
            }
            if (fp->dsect != sect) {
                if (disk_read(fs->drv, fp->buf.data(), sect, 1) != RES_OK)
                    return fail(fp, FR_DISK_ERR);
                fp->dsect = sect;
            }
        } else if (fp->dsect == 0) {
            // Inside a sector that was never read: only a hand-built position can get here.
            return fail(fp, FR_INT_ERR);
        }
        std::uint32_t n = fat_sector_bytes - offset;
        if (n > btr)
            n = btr;
        std::memcpy(out, fp->buf.data() + offset, n);
        fp->fptr += n;
        out += n;
        *br += n;
        btr -= n;
    }
    return FR_OK;
}

}  // namespace

FRESULT f_read(FIL* fp, void* buff, std::uint32_t btr, std::uint32_t* br, bool contiguous)
{
    *br = 0;
    if (!fp->fs)
        return FR_INVALID_OBJECT;
    const std::lock_guard<std::mutex> g(fp->fs->lock);
    return read_file(fp, buff, btr, br, contiguous);
}
