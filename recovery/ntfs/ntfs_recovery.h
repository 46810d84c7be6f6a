#pragma once
// The NTFS engine: drives the NTFS library over one volume, keeps every folder and every
// deleted file it hands out in a table keyed by record number, links them into a tree by
// their parent numbers and marks the folders that hold a deleted file below them. The
// library's context stays open after a scan, for recover_item, until the next scan.
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <unordered_map>

#include "recovery/ntfs/ntfs_library.h"
#include "recovery/recovery_base.h"

struct ntfs_entry_s {
    std::array<std::uint8_t, ntfs_record_bytes> area{};  // the record as the library filled it
    std::uint8_t has_content = 0;
    QList<ntfs_entry_s*> children;

    std::uint64_t record() const;
    std::uint64_t parent() const;
    std::uint64_t size() const;
    std::int64_t date1() const;
    std::int64_t date2() const;
    std::uint32_t flags() const;
    QString name() const;
};

constexpr std::uint64_t ntfs_root_record = 5;
constexpr std::uint64_t ntfs_last_system_record = 11;

class ntfs_recovery_c : public recovery_engine_c {
    Q_OBJECT

public:
    ntfs_recovery_c();
    ~ntfs_recovery_c() override;

    void reset() override;
    std::int32_t recover_item(std::uint64_t id, QString path) override;
    // Pieces of the file that cannot be read are written as zeros (recover_partial).
    std::int32_t recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report) override;
    std::int32_t get_item_path(std::uint64_t id, QString& out) override;

    // "/dev/hd" with the disk's letter (a for disk 0) and the partition number.
    static QString device_name(const volume_item_s& volume);

    std::array<std::uint8_t, ntfs_context_bytes> ntfs_scan_context{};
    std::unordered_map<std::uint64_t, ntfs_entry_s> entry_table;

protected:
    void run() override;
    // Takes every record from the open context into the table, then links the tree.
    void walk_open_volume();

private:
    void log_startup_failure(std::int32_t result);
    // Why the library could not open the volume, in words.
    QString startup_failure_text(std::int32_t result) const;
    void link_children();
    void mark_content();
};
