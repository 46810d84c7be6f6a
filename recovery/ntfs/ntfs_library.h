#pragma once
// The NTFS library: four functions over a caller-owned 8248-byte context, which open an
// NTFS volume, hand out its MFT records one by one (allocated or deleted) as 576-byte
// record areas, and write a record's data to a file. Built on The Sleuth Kit, reading the
// volume through our device layer.
//
// Context layout (little-endian): the first 32-bit word is not 0 while the library holds
// the context open; the signed 64-bit total at 8 and the 32-bit counters a, b, c at 8224,
// 8228 and 8232 give the progress as (c + 8 x (a + b)) / total. The rest is the library's.
//
// Record layout: record number (u64) at 0, parent record number (u64) at 8, size (u64) at
// 16, date2 = creation time (i64 seconds since 1970) at 24, date1 = modification time at
// 40, flags (u32) at 48 (bit 0 folder, bit 1 file, bit 7 deleted), the name in UTF-16LE,
// NUL-terminated, from 56 (at most 259 characters).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/block_device.h"

constexpr std::size_t ntfs_context_bytes = 8248;
constexpr std::size_t ntfs_record_bytes = 576;

constexpr std::size_t NTFS_CTX_Open = 0;
constexpr std::size_t NTFS_CTX_Total = 8;
constexpr std::size_t NTFS_CTX_CounterA = 8224;
constexpr std::size_t NTFS_CTX_CounterB = 8228;
constexpr std::size_t NTFS_CTX_CounterC = 8232;

constexpr std::size_t NTFS_REC_Record = 0;
constexpr std::size_t NTFS_REC_Parent = 8;
constexpr std::size_t NTFS_REC_Size = 16;
constexpr std::size_t NTFS_REC_Date2 = 24;
constexpr std::size_t NTFS_REC_Date1 = 40;
constexpr std::size_t NTFS_REC_Flags = 48;
constexpr std::size_t NTFS_REC_Name = 56;
constexpr std::size_t ntfs_name_chars = 260;  // 520 bytes with the closing NUL

constexpr std::uint32_t ntfs_flag_folder = 0x01;
constexpr std::uint32_t ntfs_flag_file = 0x02;
constexpr std::uint32_t ntfs_flag_deleted = 0x80;

// Results of ntfs_scan_startup below 0.
constexpr std::int32_t ntfs_startup_bad_name = -1;     // not "/dev/hd<letter><number>", or no context
constexpr std::int32_t ntfs_startup_no_volume = -2;    // no volume has that disk and partition number
constexpr std::int32_t ntfs_startup_cannot_open = -3;  // the volume cannot be opened or its boot sector read
constexpr std::int32_t ntfs_startup_not_ntfs = -4;     // no NTFS file system that can be read is there

// Results of ntfs_undelete below 0.
constexpr std::int32_t ntfs_undelete_not_open = -1;        // the context holds no open volume
constexpr std::int32_t ntfs_undelete_unknown_record = -2;  // no such record, or it cannot be loaded
constexpr std::int32_t ntfs_undelete_no_data = -3;         // the record has no unnamed data stream
constexpr std::int32_t ntfs_undelete_cannot_create = -4;   // the file cannot be created
constexpr std::int32_t ntfs_undelete_read_error = -5;      // the data cannot be read whole, or not as stored
constexpr std::int32_t ntfs_undelete_write_error = -6;     // the file cannot be written whole
constexpr std::int32_t ntfs_undelete_truncated = -7;       // the volume ends before the file's data
// Above 0: written in its full size, with pieces that could not be read as zeros.
constexpr std::int32_t ntfs_undelete_partial = 1;

// Opens the volume that "/dev/hd<letter><number>" names: letter a + the disk number, and
// the partition number, as the volume list numbers them (images first, then block
// devices; partition 0 for a drive without a partition table). Negative when it cannot.
std::int32_t ntfs_scan_startup(const char* device_name, std::uint8_t* context);

// The same over a device that is already open (the volume's bytes, read-only).
std::int32_t ntfs_scan_startup_device(std::unique_ptr<block_device> device, std::uint8_t* context);

// Fills the zeroed record area with the next MFT record that has a file name, in record
// number order; 0 when there are no more.
std::int32_t ntfs_scan_next(std::uint8_t* context, std::uint8_t* record);

// Releases what the library holds for the context.
void ntfs_scan_close(std::uint8_t* context);

// Writes the record's data (its unnamed data stream) to path, creating or replacing the
// file. 0 only when the whole size was read and written; negative otherwise, and a file
// that the call began to write is removed again.
std::int32_t ntfs_undelete(std::uint8_t* context, std::uint64_t record, const char* path, std::uint32_t* unused);

// ntfs_undelete that writes what cannot be read as zeros: ntfs_undelete_partial then, with
// the ranges of the file (byte offsets in the file) in unreadable. Bytes written are added
// to bytes (when given) as they are written.
std::int32_t ntfs_undelete_reported(std::uint8_t* context, std::uint64_t record, const char* path,
                                    std::vector<byte_range_s>* unreadable, std::atomic<std::uint64_t>* bytes);
