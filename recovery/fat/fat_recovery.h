#pragma once
// The FAT engine: walks a FAT12/16/32 volume's folders through the FAT module, depth first
// from the root, and records every folder (live or deleted) and every deleted file, keyed by
// first cluster. After the walk one pass over the FAT marks each deleted file whose first
// cluster is in use again as overwritten and counts, for the others, the clusters of their
// run that are; then the records are linked into a tree and the folders that hold a deleted
// file somewhere below are marked. A found file is written by reading its clusters
// from the first one on, as if they followed one another on the disk; those of them that are
// in use again belong to other files now and are written as zeros. The engine finds the
// volume on its drive from the volume item it is given (drive, partition, first sector) and
// mounts it on a FATFS of its own.
#include <QList>
#include <QString>
#include <cstdint>
#include <unordered_map>

#include "recovery/fat/fat_module.h"
#include "recovery/recovery_base.h"

struct fat_entry_s {
    std::uint32_t cluster = 0;
    std::uint32_t parent = 0;
    std::uint32_t size = 0;
    std::int64_t modified = 0;
    std::int64_t created = 0;
    std::uint8_t attributes = 0;  // 0x10 folder, 0x40 deleted (also for all found in a deleted folder)
    std::uint8_t in_deleted_folder = 0;
    QString name;  // at most 259 characters; "#" first when deleted
    std::uint8_t has_content = 0;
    // A deleted file whose first cluster is in use again (its FAT entry no longer free).
    std::uint8_t overwritten = 0;
    // Of a deleted file not overwritten: how many clusters its content takes, and how many of
    // those (read from its first cluster on) are in use again and will be written as zeros.
    std::uint32_t clusters = 0;
    std::uint32_t in_use_clusters = 0;
    QList<fat_entry_s*> children;
};

// The record under which folders found without a parent are shown ("(lost folders)" below
// the root); 1 is no cluster's number.
constexpr std::uint32_t fat_lost_folders_key = 1;

constexpr std::uint8_t fat_attr_folder = 0x10;
constexpr std::uint8_t fat_attr_deleted = 0x40;

class fat_recovery_c : public recovery_engine_c {
    Q_OBJECT

public:
    fat_recovery_c() { reset(); }
    ~fat_recovery_c() override;

    void reset() override;
    std::int32_t recover_item(std::uint64_t id, QString path) override;
    // A sector that cannot be read becomes zeros (recover_partial, in report.unreadable),
    // and so does a deleted file's cluster whose FAT entry is in use again (in
    // report.in_use) unless the file is marked overwritten, when it is read as it lies; a
    // file that runs past the end of a volume shorter than its file system fails
    // (recover_truncated).
    std::int32_t recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report) override;
    std::int32_t get_item_path(std::uint64_t id, QString& out) override;

    // Every record of the last scan; the root folder under key 0. Read only after finished().
    std::unordered_map<std::uint32_t, fat_entry_s> entry_table;

    // Seconds since 1970 of a FAT date and time, taken as local time without daylight saving.
    static std::int64_t fat_time(std::uint16_t date, std::uint16_t time);

protected:
    void run() override;

    // The engine's own mount of the volume, where the scan walks and recover_item reads;
    // its lock lets a preview and a recovery read at once.
    FATFS volume_fs_;

private:
    // Whether the volume holds the sector (absolute on its drive): false where it ends
    // before its file system does.
    bool volume_holds(std::uint32_t sector) const;
    void walk_folder(bool from_root, std::uint32_t cluster, bool in_deleted);
    bool record(fat_entry_s entry);
    void find_lost_folders();
    void mark_reused_clusters();
    void link_children();
    void mark_content();
};
