#pragma once
// An NTFS volume read by The Sleuth Kit through one of our block devices. The object owns
// the device and TSK's image and file-system handles; the NTFS library keeps one per open
// context and uses it from one thread at a time. Before TSK loads a record, the record's
// raw bytes are checked here (fixups, attribute chain), since TSK hands out what it could
// read of a damaged record; a record that fails either check is reported as missing.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "disk/block_device.h"
#include "recovery/ntfs/ntfs_library_record.h"

struct TSK_IMG_INFO;
struct TSK_FS_INFO;
struct TSK_FS_FILE;
struct TSK_FS_ATTR;

class ntfs_volume_c {
public:
    enum class open_error { none, unreadable, not_ntfs };

    // Opens the NTFS file system on the device; nothing, and why, when the boot sector
    // cannot be read or neither our check of it nor TSK finds NTFS there.
    static std::unique_ptr<ntfs_volume_c> open(std::unique_ptr<block_device> device, open_error* error = nullptr);
    ~ntfs_volume_c();
    ntfs_volume_c(const ntfs_volume_c&) = delete;
    ntfs_volume_c& operator=(const ntfs_volume_c&) = delete;

    // Records 0 .. record_count() - 1 are the MFT's records.
    std::uint64_t record_count() const { return record_count_; }

    // Record n as ntfs_scan_next hands it out; nothing when TSK cannot load it or when it
    // has no usable $FILE_NAME.
    std::optional<ntfs_record_s> read_record(std::uint64_t n);

    enum class write_result { written, unknown_record, no_data, cannot_create, read_error, write_error, truncated };

    // What a write learnt on the way.
    struct write_report_s {
        // Ranges of the file (offsets in the file) that could not be read, written as zeros.
        std::vector<byte_range_s> unreadable;
        // With truncated: the volume's length, which the file's data runs past.
        std::uint64_t volume_end = 0;
        // When set, the bytes written are added here as they are written.
        std::atomic<std::uint64_t>* bytes = nullptr;
    };

    // Writes record n's unnamed $DATA stream to path, creating or replacing the file.
    // Pieces that cannot be read are written as zeros and listed in the report (the write
    // is still "written"). A file that could not be written whole (the volume ends before
    // its data, the target is full) is removed again, so that a failure leaves nothing that
    // looks recovered.
    write_result write_data(std::uint64_t n, const char* path, write_report_s* report = nullptr);

private:
    ntfs_volume_c() = default;

    // Record n's file, when its raw record is a sound base record and TSK can load it
    // without a read error.
    TSK_FS_FILE* open_record(std::uint64_t n);

    // Whether a read of the device failed since the last call.
    bool take_read_failure();

    std::unique_ptr<block_device> device_;
    std::vector<byte_range_s> bad_;  // sectors of the device that could not be read (offsets)
    TSK_IMG_INFO* image_ = nullptr;
    TSK_FS_INFO* fs_ = nullptr;
    TSK_FS_FILE* mft_ = nullptr;             // record 0, the $MFT, whose data holds every record
    const TSK_FS_ATTR* mft_data_ = nullptr;  // owned by mft_
    std::uint32_t record_bytes_ = 0;
    std::uint64_t record_count_ = 0;
};
