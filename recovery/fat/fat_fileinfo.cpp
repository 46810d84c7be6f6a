// The file information of a directory entry: its 8.3 name as text (code page 936), its
// long name, first cluster, size, attributes and time stamps.
#include <algorithm>
#include <array>
#include <span>

#include "disk/le.h"
#include "recovery/fat/cp936.h"
#include "recovery/fat/fat_entry_layout.h"
#include "recovery/fat/fat_module.h"

namespace {

using namespace fat_entry_layout;

constexpr std::uint8_t NS_BODY_LOWER = 0x08;
constexpr std::uint8_t NS_EXT_LOWER = 0x10;

// Converts one field of the 8.3 name (body or extension) up to its first space. A lead
// byte pairs with the next byte only inside the same field.
char16_t* put_name_field(std::span<const std::uint8_t> e, std::size_t start, std::size_t length, bool lower,
                         bool deleted, char16_t* p)
{
    const std::size_t end = start + length;
    for (std::size_t i = start; i < end; ++i) {
        std::uint8_t b = e[i];
        if (b == ' ')
            break;
        if (i == DIR_Name) {
            if (deleted) {
                // 0xE5 here is the deletion mark that replaced the first byte, not the
                // first half of a character: converted alone it has no Unicode form.
                *p++ = cp936_to_unicode(b);
                continue;
            }
            // A name whose first byte really is 0xE5 (a lead byte in code page 936)
            // stores 0x05 instead, so as not to read as deleted.
            if (b == 0x05)
                b = 0xE5;
        }
        if (cp936_lead_byte(b) && i + 1 < end && cp936_trail_byte(e[i + 1])) {
            *p++ = cp936_to_unicode(static_cast<std::uint16_t>((b << 8) | e[i + 1]));
            ++i;
            continue;
        }
        if (lower && b >= 'A' && b <= 'Z')
            b = static_cast<std::uint8_t>(b + ('a' - 'A'));
        *p++ = cp936_to_unicode(b);
    }
    return p;
}

void put_long_name(const DIR* dj, FILINFO* fno)
{
    if (!fno->lfname || fno->lfsize <= 0)
        return;
    fno->lfname[0] = 0;
    if (dj->sect == 0 || dj->lfn_idx == 0xFFFF || !dj->lfn)
        return;
    int length = 0;
    while (length < fat_lfn_chars && dj->lfn[length] != 0)
        ++length;
    // A name that does not fit the caller's buffer with its NUL is left out whole rather
    // than cut.
    if (length >= fat_lfn_chars || length > fno->lfsize - 1)
        return;
    for (int i = 0; i < length; ++i)
        fno->lfname[i] = dj->lfn[i];
    fno->lfname[length] = 0;
}

}  // namespace

void get_fileinfo(const DIR* dj, FILINFO* fno)
{
    char16_t* p = fno->fname;
    if (dj->sect != 0) {
        const std::span<const std::uint8_t> e =
            std::span<const std::uint8_t>(dj->fs->win)
                .subspan((dj->index % (fat_sector_bytes / entry_bytes)) * entry_bytes, entry_bytes);
        const std::uint8_t flags = e[DIR_NTres];
        if (dj->deleted && dj->restored_first) {
            // The long name's checksum gave the deleted entry's first byte back.
            std::array<std::uint8_t, entry_bytes> restored;
            std::copy(e.begin(), e.end(), restored.begin());
            restored[DIR_Name] = dj->restored_first;
            p = put_name_field(restored, DIR_Name, 8, flags & NS_BODY_LOWER, false, p);
        } else {
            p = put_name_field(e, DIR_Name, 8, flags & NS_BODY_LOWER, dj->deleted != 0, p);
        }
        if (e[DIR_Ext] != ' ') {
            *p++ = u'.';
            p = put_name_field(e, DIR_Ext, 3, flags & NS_EXT_LOWER, false, p);
        }
        // A reported entry never has an empty name: an empty name tells the caller that
        // the directory has ended. Only a damaged entry beginning with a space gets here.
        if (p == fno->fname)
            *p++ = u'?';
        fno->fattrib = static_cast<std::uint8_t>(e[DIR_Attr] | (dj->deleted ? AM_DELETED : 0));
        fno->fclust = le16(e, DIR_FstClusLO);
        if (dj->fs->fs_type == FS_FAT32)
            fno->fclust |= std::uint32_t{le16(e, DIR_FstClusHI)} << 16;
        fno->fsize = le32(e, DIR_FileSize);
        fno->fdate = le16(e, DIR_WrtDate);
        fno->ftime = le16(e, DIR_WrtTime);
        fno->crdate = le16(e, DIR_CrtDate);
        fno->crtime = le16(e, DIR_CrtTime);
    }
    *p = 0;
    put_long_name(dj, fno);
}
