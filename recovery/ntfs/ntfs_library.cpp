// The NTFS library's four functions. The caller's context holds, besides the fields the
// header names, a pointer to the library's state for the open volume (at NTFS_CTX_State);
// the state lives on the heap and is registered in a process-wide set, so that a context
// whose bytes do not point at a live state is never followed.
#include "recovery/ntfs/ntfs_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_set>

#include "disk/le.h"
#include "recovery/ntfs/ntfs_library_record.h"
#include "recovery/ntfs/ntfs_library_volume.h"
#include "volumes/volume_device.h"

namespace {

constexpr std::size_t NTFS_CTX_State = 16;  // the library's state pointer

struct scan_state_s {
    std::unique_ptr<ntfs_volume_c> volume;
    std::uint64_t next_record = 0;  // the next MFT record ntfs_scan_next looks at
};

std::mutex live_states_lock;
std::unordered_set<scan_state_s*> live_states;

std::span<std::uint8_t> context_bytes(std::uint8_t* context)
{
    return {context, ntfs_context_bytes};
}

// The context's state, or nullptr when the context is not open or its pointer is not one
// this library made.
scan_state_s* state_of(std::uint8_t* context)
{
    if (!context || le32(context_bytes(context), NTFS_CTX_Open) == 0)
        return nullptr;
    scan_state_s* state = nullptr;
    std::memcpy(&state, context + NTFS_CTX_State, sizeof state);
    const std::lock_guard<std::mutex> lock(live_states_lock);
    return live_states.count(state) ? state : nullptr;
}

// The total is the number of MFT records and counter c the records looked at so far, so the
// progress reaches 1 at the end whether or not the last records had anything to hand out.
void set_progress(std::uint8_t* context, std::uint64_t total, std::uint64_t examined)
{
    const std::span<std::uint8_t> ctx = context_bytes(context);
    put_le64(ctx, NTFS_CTX_Total, total);
    put_le32(ctx, NTFS_CTX_CounterA, 0);
    put_le32(ctx, NTFS_CTX_CounterB, 0);
    put_le32(ctx, NTFS_CTX_CounterC, static_cast<std::uint32_t>(std::min<std::uint64_t>(examined, UINT32_MAX)));
}

}  // namespace

std::int32_t ntfs_scan_startup(const char* device_name, std::uint8_t* context)
{
    if (!context)
        return ntfs_startup_bad_name;
    ntfs_scan_close(context);
    const std::optional<ntfs_device_name_s> name = parse_ntfs_device_name(device_name);
    if (!name)
        return ntfs_startup_bad_name;

    const std::optional<volume_item_s> found = find_volume(name->disk_number, name->partition_number);
    if (!found)
        return ntfs_startup_no_volume;
    std::unique_ptr<block_device> device = open_volume(*found);
    if (!device)
        return ntfs_startup_cannot_open;
    return ntfs_scan_startup_device(std::move(device), context);
}

std::int32_t ntfs_scan_startup_device(std::unique_ptr<block_device> device, std::uint8_t* context)
{
    if (!context || !device)
        return ntfs_startup_cannot_open;
    ntfs_scan_close(context);
    ntfs_volume_c::open_error error = ntfs_volume_c::open_error::none;
    std::unique_ptr<ntfs_volume_c> volume = ntfs_volume_c::open(std::move(device), &error);
    if (!volume)
        return error == ntfs_volume_c::open_error::unreadable ? ntfs_startup_cannot_open : ntfs_startup_not_ntfs;

    auto state = std::make_unique<scan_state_s>();
    state->volume = std::move(volume);
    set_progress(context, state->volume->record_count(), 0);
    scan_state_s* raw = state.release();
    {
        const std::lock_guard<std::mutex> lock(live_states_lock);
        live_states.insert(raw);
    }
    std::memcpy(context + NTFS_CTX_State, &raw, sizeof raw);
    put_le32(context_bytes(context), NTFS_CTX_Open, 1);
    return 0;
}

std::int32_t ntfs_scan_next(std::uint8_t* context, std::uint8_t* record)
{
    scan_state_s* state = state_of(context);
    if (!state || !record)
        return 0;
    const std::uint64_t total = state->volume->record_count();
    // Each call advances past every record it looks at, so a record that cannot be read
    // is passed over once and the walk ends after the last record.
    while (state->next_record < total) {
        const std::uint64_t n = state->next_record++;
        const std::optional<ntfs_record_s> found = state->volume->read_record(n);
        set_progress(context, total, state->next_record);
        if (found) {
            write_ntfs_record(*found, {record, ntfs_record_bytes});
            return 1;
        }
    }
    return 0;
}

void ntfs_scan_close(std::uint8_t* context)
{
    if (!context)
        return;
    scan_state_s* state = state_of(context);
    if (state) {
        {
            const std::lock_guard<std::mutex> lock(live_states_lock);
            live_states.erase(state);
        }
        delete state;
    }
    std::memset(context + NTFS_CTX_State, 0, sizeof(scan_state_s*));
    put_le32(context_bytes(context), NTFS_CTX_Open, 0);
}

std::int32_t ntfs_undelete(std::uint8_t* context, std::uint64_t record, const char* path, std::uint32_t* unused)
{
    (void)unused;
    std::vector<byte_range_s> unreadable;
    const std::int32_t result = ntfs_undelete_reported(context, record, path, &unreadable, nullptr);
    if (result != ntfs_undelete_partial)
        return result;
    // Without a way to name the zeroed pieces, a file that holds them is not written.
    std::remove(path);
    return ntfs_undelete_read_error;
}

std::int32_t ntfs_undelete_reported(std::uint8_t* context, std::uint64_t record, const char* path,
                                    std::vector<byte_range_s>* unreadable, std::atomic<std::uint64_t>* bytes)
{
    scan_state_s* state = state_of(context);
    if (!state)
        return ntfs_undelete_not_open;
    ntfs_volume_c::write_report_s report;
    report.bytes = bytes;
    const ntfs_volume_c::write_result result = state->volume->write_data(record, path, &report);
    if (unreadable)
        *unreadable = std::move(report.unreadable);
    switch (result) {
    case ntfs_volume_c::write_result::written:
        return unreadable && !unreadable->empty() ? ntfs_undelete_partial : 0;
    case ntfs_volume_c::write_result::unknown_record:
        return ntfs_undelete_unknown_record;
    case ntfs_volume_c::write_result::no_data:
        return ntfs_undelete_no_data;
    case ntfs_volume_c::write_result::cannot_create:
        return ntfs_undelete_cannot_create;
    case ntfs_volume_c::write_result::read_error:
        return ntfs_undelete_read_error;
    case ntfs_volume_c::write_result::write_error:
        return ntfs_undelete_write_error;
    case ntfs_volume_c::write_result::truncated:
        return ntfs_undelete_truncated;
    }
    return ntfs_undelete_read_error;
}
