#pragma once
// One file scan as the recovery page and the command line run it: the session picks the
// engine for a volume (NTFS, a file system whose name begins with "FAT", or the deep engine
// for any other volume and whenever a deep scan is asked for), does the setup that engine
// needs (the FAT drive table over the present drives, the deep scan's configuration),
// owns the engines, and offers start, pause, stop, progress, the counts and the end both
// as calls and as signals. After the scan it gives the results as one result_tree_s and
// the engine that recover_item goes to (through recovery_writer_c).
//
// The session lives in the thread that made it (the window's or the command line's main
// thread). Its signals are emitted there: the engine thread's end reaches the session
// queued, and progress is sent every 200 ms while a scan runs, both through that thread's
// event loop. A caller without an event loop calls wait(), which delivers finished() too.
// The results may be read only while no scan runs.
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <climits>
#include <cstdint>
#include <optional>

#include "recovery/fat/fat_recovery.h"
#include "recovery/ntfs/ntfs_recovery.h"
#include "recovery/raw/raw_recovery.h"
#include "recovery/recovery_base.h"
#include "recovery/result_tree.h"
#include "volumes/volume_item.h"

// The engine of a scan; the numbers are the recovery page's engine kinds.
enum class engine_kind : int { none = -1, fat = 0, ntfs = 1, deep = 2 };

class recovery_session_c : public QObject {
    Q_OBJECT

public:
    // Loads the deep scan's configuration from config_path (built-in limits when missing).
    explicit recovery_session_c(QObject* parent = nullptr,
                                const QString& config_path = QStringLiteral("./Orvane.conf"));
    // A scan still running is stopped (its results discarded) and waited for.
    ~recovery_session_c() override;

    // The engine a volume is scanned with.
    static engine_kind engine_for(const volume_item_s& volume, bool deep);
    // "fat", "ntfs", "deep", or "" for none.
    static QString engine_name(engine_kind kind);
    // The setup an engine of that kind needs before it scans: the FAT module reads through
    // the drive table, opened (again) over the drive list as it is now. false when the
    // engine cannot read anything (no drive could be opened).
    static bool prepare(engine_kind kind);

    // Starts a scan of the volume on the engine's thread; false, and nothing started, while
    // a scan runs or a writer writes files of the present results (a new scan would reset
    // the engine they are read through).
    bool start(const volume_item_s& volume, bool deep = false);
    // Takes the results of an earlier deep scan from a scan-result file instead of scanning.
    // Their files are read from the volume the file names: the first of `volumes` whose path
    // begins with it, else that path itself. Empty on success, else why the file cannot be
    // used (the results are then as before). Refused, as start() is, while a writer writes.
    QString load(const QString& path, const QList<volume_item_s>& volumes);
    // Saves the deep scan's results: empty on success, else why not.
    QString save(const QString& path);

    void set_paused(bool paused);
    bool paused();
    // Asks the scan to end: stop_user keeps what was found, stop_discard drops it.
    void stop(std::int32_t code = stop_user);
    bool running() const;
    // Whether a writer is writing files of the present results (on any thread).
    bool writing() const { return writers_.load() != 0; }
    // Waits for the scan to end, at most ms; true when it has ended (finished() has then
    // been emitted).
    bool wait(unsigned long ms = ULONG_MAX);

    double progress();
    std::int64_t read_count();
    std::int64_t found_count();
    // Whether the last scan was stopped by the user (its results are what it found so far).
    bool stopped();
    // Why the last scan could not be made (a volume that cannot be opened, a damaged or
    // truncated file system); empty when it ran. Its empty results then mean nothing.
    QString failure() const;

    engine_kind kind() const { return kind_; }
    const volume_item_s& volume() const { return volume_; }
    // The current engine; the idle engine before the first scan.
    recovery_base_c& engine() { return *current_; }
    // Each engine, for callers that read an engine's own records.
    fat_recovery_c& fat_engine() { return fat_; }
    ntfs_recovery_c& ntfs_engine() { return ntfs_; }
    raw_recovery_c& deep_engine() { return deep_; }
    // The results of the last scan or load; nothing when nothing was found.
    std::optional<result_tree_s> results() const;

signals:
    void started();
    void progress_changed(double progress, qint64 read_count, qint64 found_count);
    // The scan has ended; stopped: by the user, with what was found so far.
    void finished(bool stopped);

private:
    friend class recovery_writer_c;  // counts itself in writers_ while it writes
    void on_engine_finished();
    void hold_stop();

    fat_recovery_c fat_;
    ntfs_recovery_c ntfs_;
    raw_recovery_c deep_;
    recovery_stop_c idle_;
    recovery_base_c* current_ = &idle_;
    engine_kind kind_ = engine_kind::none;
    volume_item_s volume_;
    QTimer ticker_;
    std::int32_t stop_asked_ = stop_none;  // the stop asked for during the present scan
    bool finish_due_ = false;              // finished() not yet emitted for the scan that ran
    std::atomic<int> writers_{0};
    // Held by a writer while it reads one file out of the engine: a recovery and a preview
    // may run at once, but an engine reads for one of them at a time.
    std::mutex read_lock_;
};
