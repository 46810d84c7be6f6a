#include "recovery/ntfs/ntfs_library_record.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/le.h"
#include "recovery/ntfs/ntfs_library.h"

namespace {

// Boot sector fields.
constexpr std::size_t BS_OemName = 3;  // "NTFS    "
constexpr std::size_t BPB_BytesPerSector = 11;
constexpr std::size_t BPB_SectorsPerCluster = 13;
constexpr std::size_t BPB_ClustersPerRecord = 64;
constexpr std::size_t BS_55AA = 510;

// MFT record header fields.
constexpr std::size_t MFT_UpdateSequenceOffset = 4;
constexpr std::size_t MFT_UpdateSequenceCount = 6;  // entries, the sequence number itself included
constexpr std::size_t MFT_FirstAttribute = 20;
constexpr std::size_t MFT_UsedSize = 24;
constexpr std::size_t MFT_BaseRecord = 32;   // a file reference; 0 in a base record
constexpr std::size_t MFT_HeaderBytes = 42;  // the fields every NTFS version has

// Attribute header fields.
constexpr std::size_t ATTR_Type = 0;
constexpr std::size_t ATTR_Length = 4;
constexpr std::size_t ATTR_NonResident = 8;
constexpr std::size_t ATTR_NameLength = 9;  // in UTF-16 code units
constexpr std::size_t ATTR_NameOffset = 10;
constexpr std::size_t ATTR_ValueLength = 16;         // resident
constexpr std::size_t ATTR_ValueOffset = 20;         // resident
constexpr std::size_t ATTR_MappingPairsOffset = 32;  // non-resident
constexpr std::size_t ATTR_ResidentHeader = 24;
constexpr std::size_t ATTR_NonResidentHeader = 64;
constexpr std::uint32_t ATTR_EndMark = 0xFFFFFFFF;

// NTFS protects a record against torn writes by putting the update sequence number in the
// last two bytes of every 512-byte stride, whatever the sector size, and keeping the bytes
// that belong there in the update sequence array.
constexpr std::size_t fixup_stride = 512;

// $FILE_NAME content fields.
constexpr std::size_t FN_ParentReference = 0;
constexpr std::size_t FN_NameLength = 64;  // in UTF-16 code units
constexpr std::size_t FN_Namespace = 65;
constexpr std::size_t FN_Name = 66;

// A file reference holds the record number in its low 48 bits and a sequence number above.
constexpr std::uint64_t reference_record_mask = (std::uint64_t(1) << 48) - 1;

constexpr char device_prefix[] = "/dev/hd";
constexpr std::size_t max_partition_digits = 9;  // keeps the number inside 32 bits

bool power_of_two(std::uint64_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

int namespace_rank(std::uint8_t name_space)
{
    switch (name_space) {
    case ntfs_namespace_win32:
    case ntfs_namespace_win32_and_dos:
        return 0;
    case ntfs_namespace_posix:
        return 1;
    case ntfs_namespace_dos:
        return 2;
    default:
        return 3;
    }
}

}  // namespace

std::optional<ntfs_device_name_s> parse_ntfs_device_name(const char* name)
{
    if (!name || std::strncmp(name, device_prefix, sizeof device_prefix - 1) != 0)
        return std::nullopt;
    const char* p = name + sizeof device_prefix - 1;
    if (*p < 'a' || *p > 'z')
        return std::nullopt;
    ntfs_device_name_s parsed;
    parsed.disk_number = *p++ - 'a';
    std::size_t digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == max_partition_digits)
            return std::nullopt;
        parsed.partition_number = parsed.partition_number * 10 + (*p - '0');
    }
    if (digits == 0 || *p != '\0')
        return std::nullopt;
    return parsed;
}

std::optional<ntfs_boot_s> parse_ntfs_boot_sector(std::span<const std::uint8_t> b)
{
    if (b.size() < 512 || le16(b, BS_55AA) != 0xAA55 || std::memcmp(&b[BS_OemName], "NTFS    ", 8) != 0)
        return std::nullopt;
    const std::uint32_t sector = le16(b, BPB_BytesPerSector);
    if (sector < 512 || sector > 4096 || !power_of_two(sector))
        return std::nullopt;
    // Above 0x80 the count is a negative power of two: 0xF4 means 2^12 sectors.
    const std::uint8_t spc = b[BPB_SectorsPerCluster];
    const std::uint64_t sectors = spc <= 0x80 ? spc : std::uint64_t(1) << std::min(256 - spc, 31);
    const std::uint64_t cluster = sector * sectors;
    if (cluster == 0 || !power_of_two(cluster) || cluster > (std::uint64_t(1) << 31))
        return std::nullopt;
    // Likewise a negative count of clusters per record gives the record size in bytes as
    // a power of two.
    const auto per_record = static_cast<std::int8_t>(b[BPB_ClustersPerRecord]);
    std::uint64_t record = 0;
    if (per_record > 0)
        record = cluster * std::uint64_t(per_record);
    else if (per_record < 0 && per_record > -32)
        record = std::uint64_t(1) << -per_record;
    if (record < 512 || record > 65536 || !power_of_two(record))
        return std::nullopt;
    return ntfs_boot_s{static_cast<std::uint32_t>(cluster), static_cast<std::uint32_t>(record)};
}

bool ntfs_record_is_sound(std::span<const std::uint8_t> raw)
{
    const std::size_t size = raw.size();
    if (size < fixup_stride || size % fixup_stride != 0 || std::memcmp(raw.data(), "FILE", 4) != 0)
        return false;
    const std::size_t usa = le16(raw, MFT_UpdateSequenceOffset);
    const std::size_t count = le16(raw, MFT_UpdateSequenceCount);
    if (count != size / fixup_stride + 1 || usa < MFT_HeaderBytes || usa % 2 != 0 || usa + 2 * count > fixup_stride - 2)
        return false;
    std::vector<std::uint8_t> record(raw.begin(), raw.end());
    const std::uint16_t usn = le16(raw, usa);
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t end = i * fixup_stride - 2;
        if (le16(raw, end) != usn)
            return false;
        record[end] = raw[usa + 2 * i];
        record[end + 1] = raw[usa + 2 * i + 1];
    }
    const std::span<const std::uint8_t> r(record);

    const std::size_t used = le32(r, MFT_UsedSize);
    std::size_t at = le16(r, MFT_FirstAttribute);
    if (used > size || at < usa + 2 * count || at % 8 != 0)
        return false;
    // Every attribute is at least a header long, so the walk ends within size / 24 steps.
    while (at + 4 <= used) {
        if (le32(r, at + ATTR_Type) == ATTR_EndMark)
            return true;
        if (at + ATTR_ResidentHeader > used)
            return false;
        const std::size_t length = le32(r, at + ATTR_Length);
        if (length < ATTR_ResidentHeader || length % 8 != 0 || length > used - at)
            return false;
        const std::size_t name_chars = r[at + ATTR_NameLength];
        if (name_chars != 0 && le16(r, at + ATTR_NameOffset) + 2 * name_chars > length)
            return false;
        const std::uint8_t non_resident = r[at + ATTR_NonResident];
        if (non_resident == 0) {
            if (std::size_t(le16(r, at + ATTR_ValueOffset)) + le32(r, at + ATTR_ValueLength) > length)
                return false;
        } else if (non_resident == 1) {
            if (length < ATTR_NonResidentHeader || le16(r, at + ATTR_MappingPairsOffset) > length)
                return false;
        } else {
            return false;
        }
        at += length;
    }
    return false;  // no end mark inside the used part
}

bool ntfs_record_is_base(std::span<const std::uint8_t> record)
{
    // The whole reference, sequence number included: an extension record of the $MFT names
    // record 0 with a sequence number above 0.
    return record.size() >= MFT_BaseRecord + 8 && le64(record, MFT_BaseRecord) == 0;
}

std::optional<ntfs_file_name_s> parse_ntfs_file_name(std::span<const std::uint8_t> content)
{
    if (content.size() < FN_Name)
        return std::nullopt;
    const std::size_t length = content[FN_NameLength];
    if (length == 0 || content.size() < FN_Name + 2 * length)
        return std::nullopt;
    ntfs_file_name_s fn;
    fn.parent = le64(content, FN_ParentReference) & reference_record_mask;
    fn.name_space = content[FN_Namespace];
    fn.name.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        fn.name[i] = static_cast<char16_t>(le16(content, FN_Name + 2 * i));
    return fn;
}

int choose_ntfs_file_name(const std::vector<ntfs_file_name_s>& names)
{
    int best = -1;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (best < 0 || namespace_rank(names[i].name_space) < namespace_rank(names[best].name_space))
            best = static_cast<int>(i);
    return best;
}

void write_ntfs_record(const ntfs_record_s& record, std::span<std::uint8_t> area)
{
    if (area.size() < ntfs_record_bytes)
        return;
    put_le64(area, NTFS_REC_Record, record.record);
    put_le64(area, NTFS_REC_Parent, record.parent);
    put_le64(area, NTFS_REC_Size, record.size);
    put_le64(area, NTFS_REC_Date2, static_cast<std::uint64_t>(record.date2));
    put_le64(area, NTFS_REC_Date1, static_cast<std::uint64_t>(record.date1));
    put_le32(area, NTFS_REC_Flags, record.flags);
    const std::size_t chars = std::min(record.name.size(), ntfs_name_chars - 1);
    for (std::size_t i = 0; i < chars; ++i) {
        area[NTFS_REC_Name + 2 * i] = static_cast<std::uint8_t>(record.name[i]);
        area[NTFS_REC_Name + 2 * i + 1] = static_cast<std::uint8_t>(record.name[i] >> 8);
    }
    area[NTFS_REC_Name + 2 * chars] = 0;
    area[NTFS_REC_Name + 2 * chars + 1] = 0;
}
