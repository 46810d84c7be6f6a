#pragma once
// partition_repair_c searches a whole drive for the boot sectors of lost NTFS and FAT32
// partitions on its own thread, and afterwards writes the partitions it found into a new
// master boot record (write_partition_table, on the caller's thread).
//
// The thread owns a copy of the drive item it was given and its list of found partitions.
// The list is appended to by the search while a viewer may read it: both go through a lock.
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "disk/drive_item.h"
#include "disk/partition_item.h"
#include "disk/partition_table.h"

class raw_disk;

// A stretch of unreadable sectors that the search skipped.
struct bad_range_s {
    std::uint64_t first_sector = 0;
    std::uint64_t sector_count = 0;
};

class partition_repair_c : public QThread {
    Q_OBJECT

public:
    static constexpr std::size_t read_sectors = 256;
    static constexpr std::size_t read_bytes = read_sectors * 512;  // 131072
    // The search examines windows of 256 sectors but reads the drive in blocks of this many
    // sectors (4 MiB), so that a disk is read in large sequential requests.
    static constexpr std::size_t buffer_sectors = 8192;

    explicit partition_repair_c(QObject* parent = nullptr);
    ~partition_repair_c() override;

    // Gives the thread the drive to search and to repair; it keeps its own copy. A search
    // that runs is stopped and waited for first, as it reads the drive item.
    void set_drive(const drive_item_s& drive);
    std::optional<drive_item_s> drive() const;

    // A copy of the partitions found so far, in the order found (ascending start sector).
    QList<partition_item_s> found_partitions() const;
    qsizetype found_count() const;
    partition_item_s found_at(qsizetype i) const;

    // Share of the drive searched, 0.0 to 1.0.
    double progress() const { return progress_.load(std::memory_order_relaxed); }

    // Asks a running search to stop before its next read; it keeps what it found.
    void request_stop() { stop_requested_.store(true); }
    bool was_stopped() const { return stopped_.load(); }

    // What the last run() gave: 0 when the search ran, -1 when the drive could not be opened.
    int last_result() const { return result_.load(); }

    // Bytes read from the drive by the last search, and the unreadable sectors it skipped.
    std::uint64_t bytes_read() const { return bytes_read_.load(std::memory_order_relaxed); }
    QList<bad_range_s> bad_ranges() const;

    // The search itself: 0 when it ran, -1 when the drive cannot be opened.
    int scan_drive(const drive_item_s& drive);

    // Starts a new search of the drive last given: a search that still runs is stopped and
    // waited for first, so the found list only ever holds what one search of one drive
    // found. The list is emptied and found_cleared() emitted on the caller's thread before
    // the thread starts, so a viewer drops its rows before new ones arrive.
    void start_search();
    // The same on `drive`, which becomes the drive that a repair writes.
    void start_search(const drive_item_s& drive);
    // True while a search runs that was not asked to stop. A stopped search may still be
    // ending its last read: start_search waits for it.
    bool searching() const { return isRunning() && !stop_requested_.load(); }
    // Searches are numbered from 1 as they start; a search that has ended leaves its
    // number in ended_search(), so that a late end of an earlier search can be told apart.
    std::uint64_t started_search() const { return started_.load(); }
    std::uint64_t ended_search() const { return ended_.load(); }

    static bool is_ntfs_boot_sector(std::span<const std::uint8_t, 512> sector);
    static bool is_fat32_boot_sector(std::span<const std::uint8_t, 512> sector,
                                     std::span<const std::uint8_t, 512> next_sector);
    // The exFAT volume's sector size when `sector` is an exFAT boot sector, else 0.
    static std::size_t exfat_sector_bytes(std::span<const std::uint8_t, 512> sector);
    // True when `region` starts with an exFAT boot region whose checksum sector (the
    // volume's sector 11) matches its sectors 0 to 10.
    static bool is_exfat_boot_region(std::span<const std::uint8_t> region);

    // Whether a repair needs a search that ran to the drive's end. A stopped search keeps
    // what it found, but a partition after where it stopped is missing from it: where a stop
    // means "abort" (the command line's Ctrl-C), the repair is refused with search_stopped,
    // the old table shown and nothing written. Off by default: on the partition page the
    // person stops the search, sees the partitions found and the table that will be written,
    // and chooses.
    void require_whole_search(bool required) { whole_search_required_ = required; }

    // What a repair would write now: the old table, the new one, and the reason when it
    // would write nothing. Reads sectors 0 and 1 of the drive; writes nothing.
    table_plan_s plan_repair();

    // Writes the planned sector 0: 0 when it was written and read back unchanged, -1
    // otherwise (last_refusal() says why when nothing was written because of the plan). The
    // old sector 0 is first saved to a backup file in the backup folder (the working
    // directory unless set); without that backup nothing is written.
    int write_partition_table();
    void set_backup_folder(const QString& folder) { backup_folder_ = folder; }
    QString last_backup_path() const { return last_backup_; }
    repair_refusal_e last_refusal() const { return last_refusal_; }
    // After a successful write: what the user should know, such as a system that still sees
    // the old table; empty when nothing.
    QString last_warning() const { return last_warning_; }
    const table_plan_s& last_plan() const { return last_plan_; }
    QString last_error() const { return last_error_; }

signals:
    void partition_found();
    // The found list was emptied for a new search (emitted on the thread that started it).
    void found_cleared();

protected:
    void run() override;

private:
    // Stops a running search and waits until its thread has ended.
    void end_running_search();
    std::int64_t read_block(raw_disk& disk, std::uint64_t sector, std::size_t count, std::uint8_t* buf);
    void append_found(const partition_item_s& item);
    bool exfat_region_holds(raw_disk& disk, std::uint64_t sector, const std::uint8_t* held, std::size_t held_bytes);
    // Plans the repair on an open drive whose sector 0 is read into `sector0`; sets the
    // refusal and the error when the plan cannot be written.
    table_plan_s plan_on(raw_disk& disk, std::span<std::uint8_t, 512> sector0);
    table_plan_s refuse(repair_refusal_e why, const QString& reason);

    mutable QMutex lock_;
    QList<partition_item_s> found_;
    QList<bad_range_s> bad_;
    std::optional<drive_item_s> drive_;
    std::atomic<double> progress_{0.0};
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<int> result_{0};
    std::atomic<std::uint64_t> bytes_read_{0};
    std::atomic<std::uint64_t> started_{0};
    std::atomic<std::uint64_t> ended_{0};
    QString backup_folder_;
    QString last_backup_;
    QString last_error_;
    QString last_warning_;
    repair_refusal_e last_refusal_ = repair_refusal_e::none;
    table_plan_s last_plan_;
    bool whole_search_required_ = false;
};
