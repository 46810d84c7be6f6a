#pragma once
// The engine contract: one thread object per way of finding files (FAT, NTFS, signatures),
// driven by the recovery page or the command line through the same twelve operations. An
// engine scans its volume on its own thread, keeps what it found in tables of its own, and
// after the scan writes any found file on request.
//
// Pause and stop are written by the caller's thread and read afresh at every check by the
// engine thread; progress and the counters are written by the engine thread and only read
// for display. The result tables may be read only after finished().
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <vector>

#include "disk/block_device.h"
#include "recovery/recovery_item.h"
#include "volumes/volume_item.h"

// What one recovery of a file tells besides its result.
struct recover_report_s {
    // Byte ranges of the file (offsets in the file, not on the volume) that could not be
    // read and were written as zeros, in order, adjacent ranges joined.
    std::vector<byte_range_s> unreadable;
    // Byte ranges of a deleted file whose clusters belong to other files now (their FAT
    // entries are in use again) and were written as zeros rather than read: reading them
    // would put another file's bytes into this one. In order, adjacent ranges joined.
    std::vector<byte_range_s> in_use;
    // Why the file failed, when the engine can say more than its result's text.
    QString reason;
    // When set, the bytes written into the file are added here as they are written, so
    // that another thread can show the progress of a long file.
    std::atomic<std::uint64_t>* bytes = nullptr;

    // Add [first, last) to unreadable or in_use, joined to the last range when they touch.
    void add_unreadable(std::uint64_t first, std::uint64_t last) { add_range(unreadable, first, last); }
    void add_in_use(std::uint64_t first, std::uint64_t last) { add_range(in_use, first, last); }
    static void add_range(std::vector<byte_range_s>& ranges, std::uint64_t first, std::uint64_t last);
    void count(std::uint64_t n)
    {
        if (bytes)
            bytes->fetch_add(n, std::memory_order_relaxed);
    }
};

// Stop codes: 0 ran to its end; 1 what an idle engine answers; 2 the page was left (results
// discarded); 3 the user pressed Stop (results kept).
enum stop_code : std::int32_t { stop_none = 0, stop_idle = 1, stop_discard = 2, stop_user = 3 };

class recovery_base_c : public QThread {
    Q_OBJECT

public:
    recovery_base_c() : QThread(nullptr) {}

    virtual void set_volume(const volume_item_s& volume) = 0;
    virtual double get_progress() = 0;
    virtual void set_progress(double progress) = 0;
    virtual void set_stop(std::int32_t code) = 0;
    virtual std::int32_t get_stop() { return stop_idle; }
    virtual std::int32_t get_pause() = 0;
    virtual void set_pause(std::int32_t pause) = 0;
    virtual std::int64_t get_read_count() = 0;
    virtual void reset() = 0;
    virtual std::int32_t recover_item(std::uint64_t id, QString path) = 0;
    // recover_item with what the engine learnt on the way (report). An engine that writes
    // unreadable ranges, or ranges that belong to other files now, as zeros answers
    // recover_partial for such a file and lists the ranges; the base only calls recover_item.
    virtual std::int32_t recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report);
    virtual std::int32_t get_item_path(std::uint64_t id, QString& out);
    virtual std::int64_t get_found_count() { return 0; }
    // Why the last scan could not be made (the volume cannot be opened, or holds no file
    // system the engine can read), so that its empty results are not taken for a volume
    // without deleted files; empty when it ran. Read after finished().
    virtual QString scan_failure() const { return {}; }

    // A recovery of many files brackets its recover_item calls with these, on the thread
    // that recovers, so that an engine can open its volume once for the whole batch rather
    // than once per file. recover_item works without them too.
    virtual void begin_batch() {}
    virtual void end_batch() {}
};

// Results of recover_item, the same for every engine (the NTFS library's own codes). Below 0
// nothing is left under the target's name; recover_partial leaves the whole file.
enum recover_result : std::int32_t {
    recover_partial = 1,  // written in its full size, but unreadable or in-use ranges hold zeros
    recover_written = 0,
    recover_failed = -1,         // unknown item; or the volume or the target cannot be opened
    recover_unknown_item = -2,   // the item's record cannot be loaded
    recover_no_data = -3,        // the item has no data to write
    recover_cannot_create = -4,  // the target file cannot be created (NTFS)
    recover_read_error = -5,     // the data cannot be read whole
    recover_write_error = -6,    // the target cannot be written whole
    recover_truncated = -7,      // the volume ends before the file does
    recover_overwritten = -8,    // skipped: the file's first cluster belongs to another file now
};

// Why a recover_item result failed, in words.
QString recover_result_text(std::int32_t result);
// What was done with the in-use ranges of a partial file, in words.
QString recover_in_use_text();

// The state every scanning engine keeps, with the operations over it.
class recovery_engine_c : public recovery_base_c {
    Q_OBJECT

public:
    void set_volume(const volume_item_s& volume) override { volume_ = volume; }
    double get_progress() override { return progress_.load(std::memory_order_relaxed); }
    void set_progress(double progress) override { progress_ = progress; }
    void set_stop(std::int32_t code) override { stop_ = code; }
    std::int32_t get_stop() override { return stop_; }
    std::int32_t get_pause() override { return pause_; }
    void set_pause(std::int32_t pause) override { pause_ = pause; }
    std::int64_t get_read_count() override { return read_count_; }
    std::int64_t get_found_count() override { return found_count_; }
    QString scan_failure() const override { return failure_; }
    const volume_item_s& volume() const { return volume_; }

protected:
    // Clears the shared state; engines call it from their reset.
    void reset_state();
    // The check before each step of a scan: false when the scan is to end. While paused it
    // sleeps 100 ms at a time, ending as soon as a stop arrives.
    bool may_go_on();

    volume_item_s volume_;
    std::atomic<double> progress_{0.0};
    std::atomic<std::int32_t> pause_{0};
    std::atomic<std::int32_t> stop_{0};
    std::atomic<std::int64_t> read_count_{0};
    std::atomic<std::int64_t> found_count_{0};
    QString failure_;  // written by the engine thread; read after finished()
};

// The idle engine: the current engine before any scan. It answers everything at once.
class recovery_stop_c : public recovery_base_c {
    Q_OBJECT

public:
    void set_volume(const volume_item_s&) override {}
    double get_progress() override { return 0.0; }
    void set_progress(double) override {}
    void set_stop(std::int32_t) override {}
    std::int32_t get_pause() override { return 0; }
    void set_pause(std::int32_t) override {}
    std::int64_t get_read_count() override { return 0; }
    void reset() override {}
    std::int32_t recover_item(std::uint64_t, QString) override { return 0; }
};

void register_recovery_meta_types();
