#pragma once
// The parts of the NTFS library that work on bytes alone: the device name, the boot
// sector, the soundness of a raw MFT record, the content of a $FILE_NAME attribute, the
// choice among a record's names, and the 576-byte record area that ntfs_scan_next fills.
// Everything here takes untrusted bytes and checks every length.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Disk and partition numbers named by "/dev/hd<letter><number>".
struct ntfs_device_name_s {
    std::int32_t disk_number = 0;
    std::int32_t partition_number = 0;
};

// "/dev/hd", a letter a..z (disk 0..25), then a decimal partition number of up to nine
// digits and nothing after it; nothing for any other text.
std::optional<ntfs_device_name_s> parse_ntfs_device_name(const char* name);

// What the library takes from an NTFS boot sector.
struct ntfs_boot_s {
    std::uint32_t cluster_bytes = 0;
    std::uint32_t record_bytes = 0;  // the size of one MFT record
};

// Checks the 512-byte boot sector: the 55 AA mark, the "NTFS    " name, a sector size of
// 512 to 4096 bytes, a power-of-two cluster size, and an MFT record size of 512 bytes to
// 64 KiB. Nothing when any of these is wrong.
std::optional<ntfs_boot_s> parse_ntfs_boot_sector(std::span<const std::uint8_t> sector);

// Whether a raw MFT record (as read from the $MFT, before its fixups are applied) can be
// trusted: the FILE mark, an update sequence array that fits and matches the end of every
// 512-byte stride, a used size inside the record, and a chain of attributes whose lengths,
// names, values and runlist offsets all stay inside the used part, ended by the end mark.
bool ntfs_record_is_sound(std::span<const std::uint8_t> record);

// Whether a raw MFT record is a base record: not an extension record, which holds further
// attributes of the base record its header names and is no file of its own.
bool ntfs_record_is_base(std::span<const std::uint8_t> record);

// $FILE_NAME namespaces: which naming rules a name follows.
constexpr std::uint8_t ntfs_namespace_posix = 0;
constexpr std::uint8_t ntfs_namespace_win32 = 1;
constexpr std::uint8_t ntfs_namespace_dos = 2;
constexpr std::uint8_t ntfs_namespace_win32_and_dos = 3;

// One $FILE_NAME attribute: the folder that holds the name, and the name.
struct ntfs_file_name_s {
    std::uint64_t parent = 0;  // record number: the low 48 bits of the parent reference
    std::uint8_t name_space = 0;
    std::u16string name;
};

// Reads a $FILE_NAME attribute's content; nothing when it is too short for its fixed part
// or for the name length it claims, or when the name is empty.
std::optional<ntfs_file_name_s> parse_ntfs_file_name(std::span<const std::uint8_t> content);

// The index of the name a record is shown by: a Win32 name (namespace 1 or 3) first, else
// a POSIX name (0), else a DOS name (2), else one with an unknown namespace; the first of
// equals. -1 for an empty list.
int choose_ntfs_file_name(const std::vector<ntfs_file_name_s>& names);

// What ntfs_scan_next hands out for one MFT record.
struct ntfs_record_s {
    std::uint64_t record = 0;
    std::uint64_t parent = 0;
    std::uint64_t size = 0;
    std::int64_t date1 = 0;  // modification time, seconds since 1970
    std::int64_t date2 = 0;  // creation time, seconds since 1970
    std::uint32_t flags = 0;
    std::u16string name;
};

// Writes the record into a 576-byte record area (ntfs_record_bytes), the name cut to 259
// characters and closed with a NUL. Bytes of the area that no field covers are left alone.
void write_ntfs_record(const ntfs_record_s& record, std::span<std::uint8_t> area);
