#pragma once
// Writes found files into a folder the user chose: for each row, through its engine's
// recover_item, or for a file that still exists on a mounted NTFS volume by copying it
// through the file system. One outcome per row: "written" (every byte read and written, with
// its size), "partial" (written in its full size, but ranges that could not be read, or
// that belong to other files now, hold zeros, and are listed apart), or "failed" with the
// reason, leaving nothing under its name (a source that ends before the file does fails
// it). The rules every caller shares live here:
// - names are made safe (no separator or NUL, not "." or ".."), so nothing lands outside
//   the folder;
// - an existing file is never replaced, and two rows of one name do not overwrite each
//   other: the later one gets " (2)", " (3)", ... before its extension;
// - no symbolic link inside the folder is followed: a file whose folder is a link fails and
//   says so, and a link under a file's name counts as a taken name;
// - each file is written under a hidden temporary name and renamed once it is whole, so a
//   failed file never shows under its real name;
// - the modification time is set from the row where the engine knows it;
// - a row marked overwritten (its first cluster belongs to another file now) is not written
//   unless write_overwritten is set: it fails with that reason, since its bytes would most
//   likely be the other file's;
// - a folder on the scanned volume's own device is refused before anything is written,
//   since writing there could overwrite the very data that is being brought back.
//
// A writer is used by one thread at a time; it reads the session's current engine, which
// must not be reset or rescanned while a write runs.
#include <QList>
#include <QSet>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "recovery/recovery_base.h"
#include "recovery/recovery_item.h"
#include "recovery/result_tree.h"
#include "volumes/volume_item.h"

class output_folder_c;
class recovery_session_c;
class recovery_base_c;
enum class engine_kind : int;

// A row to write, with the folder of the results it was shown in ("/" or "/a/b").
struct recovery_row_s {
    QString folder = QStringLiteral("/");
    recovery_item_s row;
};

struct recovery_outcome_s {
    QString path;                          // relative to the output folder, with "/" between folders
    std::uint64_t size = 0;                // bytes written
    std::int32_t result = 0;               // recover_written, recover_partial, or a recover_result below 0
    QString reason;                        // why it failed; empty when written
    std::vector<byte_range_s> unreadable;  // partial: the ranges that could not be read, written as zeros
    // partial: the ranges whose clusters belong to other files now, written as zeros (a
    // deleted FAT file whose run crosses a live file's clusters)
    std::vector<byte_range_s> in_use;

    // Whether the file was written (whole, or partial).
    bool written() const { return result >= 0; }
    bool partial() const { return result == recover_partial; }
    // "written", "partial" or "failed".
    QString status() const;
    // Ranges as "bytes 512-1023, 4096-8191" (first and last byte of each).
    static QString ranges_text(const std::vector<byte_range_s>& ranges);
    QString unreadable_text() const { return ranges_text(unreadable); }
    QString in_use_text() const { return ranges_text(in_use); }
};

class recovery_writer_c {
public:
    explicit recovery_writer_c(recovery_session_c& session);

    // Why nothing may be written into folder for this volume (it lies on the volume's own
    // device); empty when it may. A folder that does not exist yet is judged by the nearest
    // folder above it that does.
    static QString refusal(const QString& folder, const volume_item_s& volume);

    // Every row of every folder of a result tree, in the tree's order.
    static QList<recovery_row_s> rows_of(const result_tree_s& tree);

    // Writes the rows into folder (made when missing), below their result folders when
    // keep_folders is set, else all side by side. Calls each (if given) after every file.
    // The outcomes in row order; nothing is written when the folder is refused (the one
    // outcome then says why) or cannot be made.
    QList<recovery_outcome_s> write(const QList<recovery_row_s>& rows, const QString& folder, bool keep_folders = true,
                                    const std::function<void(const recovery_outcome_s&)>& each = {});

    // Set when the user was warned that the folder lies on the scanned volume and chose to
    // write there all the same; the folder is then not refused.
    bool on_volume_allowed = false;

    // Set when the user asked for overwritten rows too: they are written as any other row.
    bool write_overwritten = false;

    // Copies a file, 128 KiB at a time: 0 when the whole file was copied, else a
    // recover_result below 0. Bytes copied are added to bytes when given.
    static std::int32_t copy_file(const QString& source, const QString& target,
                                  std::atomic<std::uint64_t>* bytes = nullptr);

    // Asks a write running on another thread to stop after the file it is writing; the
    // files not begun get no outcome. Any thread may ask, also just before the write
    // begins; the write's end clears it.
    void stop() { stop_ = true; }
    // Whether the last write was stopped before its last row.
    bool stopped() const { return stopped_.load(std::memory_order_relaxed); }

    // How far the current (or last) write has come: files done, and bytes written, also
    // inside the file being written. Any thread may ask.
    std::uint64_t files_done() const { return files_done_.load(std::memory_order_relaxed); }
    std::uint64_t bytes_done() const { return bytes_done_.load(std::memory_order_relaxed); }

    // A name that is safe as one component of a path.
    static QString safe_name(QString name);

private:
    recovery_outcome_s write_one(const recovery_row_s& r, const QString& folder, bool keep_folders);
    std::int32_t write_source(const recovery_item_s& row, const QString& target, recover_report_s& report);
    // The free name for a file in place (dir below the output folder): " (2)" and so on when
    // taken in this run or on disk.
    QString free_path(const output_folder_c& place, const QString& dir, const QString& name);

    recovery_session_c& session_;
    QSet<QString> taken_;  // relative paths given out in this write
    std::atomic<std::uint64_t> files_done_{0};
    std::atomic<std::uint64_t> bytes_done_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> stopped_{false};
};
