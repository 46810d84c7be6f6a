#pragma once
// The deep engine: finds files on a volume by their content through the signature library,
// whatever the file system. It keeps every reported file in found_files, in the order
// reported, and groups their numbers by extension in type_table. Progress, pause and stop
// live in the 32-byte context handed to the library's scan. The list can be saved to a
// scan-result file (".sav") and loaded again, so that a long scan need not be repeated.
#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <cstdint>
#include <span>
#include <vector>

#include "disk/block_device.h"
#include "recovery/recovery_base.h"
#include "recovery/signatures/sc_library.h"

// One found file; 32 bytes, little-endian, the same in the scan-result file. The extension
// is zero-filled behind its text; one of exactly 8 characters has no NUL.
struct raw_entry_s {
    std::uint64_t index = 0;   // its position in found_files
    std::uint64_t offset = 0;  // exact byte offset of its first byte on the volume
    std::uint64_t size = 0;    // length in bytes
    std::array<char, 8> extension{};

    static constexpr std::size_t bytes = 32;
    void store(std::span<std::uint8_t, bytes> out) const;
    static raw_entry_s load(std::span<const std::uint8_t, bytes> in);
    // The extension field as text: up to its first NUL, all 8 characters when it has none.
    QString extension_text() const;
};

// The scan-result file: a 256-byte header with the device path (8-bit text in the local
// encoding, NUL-terminated, the rest zero), then N >= 1 records of 32 bytes.
constexpr std::size_t raw_sav_header_bytes = 256;

class raw_recovery_c : public recovery_base_c {
    Q_OBJECT

public:
    raw_recovery_c() { reset(); }

    void set_volume(const volume_item_s& volume) override;
    double get_progress() override;
    void set_progress(double progress) override;
    void set_stop(std::int32_t code) override;
    std::int32_t get_stop() override;
    std::int32_t get_pause() override;
    void set_pause(std::int32_t pause) override;
    std::int64_t get_read_count() override { return 0; }
    // The number of files found so far, counted as the scan reports them (found_files
    // itself may be read only after the scan).
    std::int64_t get_found_count() override { return found_count_.load(std::memory_order_relaxed); }
    void reset() override;
    QString scan_failure() const override { return failure_; }
    // Writes the file at position (low 32 bits of id) of found_files to path, read from its
    // exact byte offset: 0 once the target was created and filled with the whole file;
    // recover_partial when sectors that could not be read were written as zeros (their
    // ranges in the report); recover_failed for an unknown id, or a volume or target that
    // cannot be opened; recover_truncated when the volume ends before the file does,
    // recover_write_error when the target cannot be written whole. A failure leaves no file.
    std::int32_t recover_item(std::uint64_t id, QString path) override;
    std::int32_t recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report) override;
    // Opens the volume once for the files of a batch.
    void begin_batch() override;
    void end_batch() override;

    // Saves device_path and found_files: 0 written; -1 when there is nothing to write, the
    // device path takes 256 bytes or more in the local encoding, or the file cannot be
    // created.
    std::int32_t write_scan_result(const QString& path);
    // Loads a scan-result file, replacing found_files and type_table (the context stays):
    // the stored device path, or an empty text when the file cannot be used (missing, a
    // length that is not 256 + 32 x N with N >= 1, a record whose index is not its position
    // or whose extension is empty or holds other characters than letters, digits, '_', '-'
    // and '+'). A failed load leaves the tables as they were.
    QString read_scan_result(const QString& path);

    // Called by the library for each found file (through the context's callback).
    void on_file_found(const char* extension, std::uint64_t offset, std::uint64_t size);

    const volume_item_s& volume() const { return volume_; }

    sc_context_s raw_scan_context;
    QHash<QString, QList<std::uint64_t>> type_table;  // extension -> indexes, in the order found
    QList<raw_entry_s> found_files;                   // in the order reported
    QString device_path;                              // volume_path without a final backslash

protected:
    void run() override;

private:
    volume_item_s volume_;
    std::atomic<std::int64_t> found_count_{0};
    QString failure_;                             // why the last scan could not start; written by the engine thread
    std::unique_ptr<block_device> batch_source_;  // the volume, open during a batch
    // recover_item copies a file in pieces of this size; those it reads itself pass
    // through copy_buffer_, kept between files.
    static constexpr std::uint64_t copy_piece_bytes = 1u << 20;
    std::vector<char> copy_buffer_;
};
