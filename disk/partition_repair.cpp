#include "disk/partition_repair.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>

#include <cstring>

#include "disk/partition_table.h"
#include "disk/raw_disk.h"

partition_repair_c::partition_repair_c(QObject* parent) : QThread(parent) {}

partition_repair_c::~partition_repair_c()
{
    request_stop();
    wait();
}

void partition_repair_c::set_drive(const drive_item_s& drive)
{
    end_running_search();
    drive_ = drive;
}

void partition_repair_c::end_running_search()
{
    if (isRunning()) {
        request_stop();
        wait();
    }
}

std::optional<drive_item_s> partition_repair_c::drive() const
{
    return drive_;
}

QList<partition_item_s> partition_repair_c::found_partitions() const
{
    QMutexLocker g(&lock_);
    return found_;
}

qsizetype partition_repair_c::found_count() const
{
    QMutexLocker g(&lock_);
    return found_.size();
}

partition_item_s partition_repair_c::found_at(qsizetype i) const
{
    QMutexLocker g(&lock_);
    return i >= 0 && i < found_.size() ? found_[i] : partition_item_s{};
}

QList<bad_range_s> partition_repair_c::bad_ranges() const
{
    QMutexLocker g(&lock_);
    return bad_;
}

void partition_repair_c::start_search()
{
    end_running_search();
    {
        QMutexLocker g(&lock_);
        found_.clear();
        bad_.clear();
    }
    progress_ = 0.0;
    stopped_ = false;
    emit found_cleared();
    stop_requested_ = false;
    ++started_;
    start(QThread::InheritPriority);
}

void partition_repair_c::start_search(const drive_item_s& drive)
{
    set_drive(drive);
    start_search();
}

void partition_repair_c::run()
{
    const std::uint64_t number = started_.load();
    {
        QMutexLocker g(&lock_);
        found_.clear();
    }
    progress_ = 0.0;
    result_ = drive_ ? scan_drive(*drive_) : -1;
    ended_ = number;
}

namespace {

// Saves the old sector 0 under a name that no earlier backup has; returns its path or an
// empty string.
QString save_backup(const QString& folder, const QString& drive_path, std::span<const std::uint8_t, 512> sector,
                    QString* error)
{
    const QDir dir(folder.isEmpty() ? QDir::currentPath() : folder);
    const QString stem = QStringLiteral("mbr-backup-%1-%2")
                             .arg(QFileInfo(drive_path).fileName(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString path = dir.filePath(stem + QStringLiteral(".bin"));
    for (int n = 1; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1-%2.bin").arg(stem).arg(n));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(sector.data()), 512) != 512 ||
        !f.commit()) {
        *error = QStringLiteral("cannot save the old sector 0 to %1: %2").arg(path, f.errorString());
        return {};
    }
    return path;
}

}  // namespace

table_plan_s partition_repair_c::refuse(repair_refusal_e why, const QString& reason)
{
    last_plan_ = table_plan_s{};
    last_plan_.refusal = why;
    last_plan_.reason = reason;
    last_refusal_ = why;
    last_error_ = reason + QStringLiteral("; nothing written");
    return last_plan_;
}

table_plan_s partition_repair_c::plan_on(raw_disk& disk, std::span<std::uint8_t, 512> sector0)
{
    alignas(4096) std::uint8_t sector1[512] = {};
    if (!disk.seek(0) || disk.read(sector0.data(), 512) != 512)
        return refuse(repair_refusal_e::no_drive, QStringLiteral("cannot read sector 0 of %1").arg(drive_->path));
    // A drive of one sector has no sector 1; zeros hold no GPT header.
    if (!disk.seek(512) || disk.read(sector1, 512) != 512)
        std::memset(sector1, 0, sizeof sector1);

    const std::uint64_t device_bytes = disk.device_size();
    const std::uint64_t drive_sectors = (device_bytes ? device_bytes : drive_->size) / drive_sector_bytes(*drive_);
    // A search cut short where a whole one is needed plans nothing: the old table as it is.
    const bool cut_short = whole_search_required_ && stopped_.load();
    last_plan_ = plan_partition_table(sector0, std::span<const std::uint8_t, 512>(sector1),
                                      cut_short ? QList<partition_item_s>{} : found_partitions(), drive_sectors);
    if (cut_short) {
        last_plan_.refusal = repair_refusal_e::search_stopped;
        last_plan_.reason = QStringLiteral("the search was stopped");
    }
    last_refusal_ = last_plan_.refusal;
    if (last_plan_.refusal != repair_refusal_e::none)
        last_error_ = last_plan_.reason + QStringLiteral("; nothing written");
    return last_plan_;
}

table_plan_s partition_repair_c::plan_repair()
{
    last_error_.clear();
    last_refusal_ = repair_refusal_e::none;
    if (!drive_ || !drive_->geometry)
        return refuse(repair_refusal_e::no_drive, QStringLiteral("no drive was searched"));
    if (isRunning())
        return refuse(repair_refusal_e::search_running, QStringLiteral("a search is running"));
    raw_disk disk;
    if (!disk.open(drive_->path, device_access::read, &last_error_))
        return refuse(repair_refusal_e::no_drive, last_error_);
    alignas(4096) std::uint8_t sector0[512] = {};
    return plan_on(disk, sector0);
}

int partition_repair_c::write_partition_table()
{
    last_backup_.clear();
    last_warning_.clear();
    // Plan first on a read-only open, so that a refused repair never opens the drive for
    // writing.
    if (plan_repair().refusal != repair_refusal_e::none)
        return -1;

    raw_disk disk;
    if (!disk.open(drive_->path, device_access::read_write, &last_error_))
        return -1;

    alignas(4096) std::uint8_t old_sector[512] = {};
    const table_plan_s plan = plan_on(disk, old_sector);
    if (plan.refusal != repair_refusal_e::none)
        return -1;

    last_backup_ =
        save_backup(backup_folder_, drive_->path, std::span<const std::uint8_t, 512>(old_sector), &last_error_);
    if (last_backup_.isEmpty())
        return -1;

    alignas(4096) std::array<std::uint8_t, 512> mbr =
        build_master_boot_record(std::span<const std::uint8_t, 512>(old_sector), plan.new_entries, *drive_->geometry);

    if (!disk.seek(0) || disk.write(mbr.data(), 512) != 512 || !disk.flush()) {
        last_error_ = QStringLiteral("writing sector 0 of %1 failed; the old sector is saved in %2")
                          .arg(drive_->path, last_backup_);
        return -1;
    }

    alignas(4096) std::uint8_t check[512] = {};
    if (!disk.seek(0) || disk.read(check, 512) != 512 || std::memcmp(check, mbr.data(), 512) != 0) {
        last_error_ = QStringLiteral(
                          "sector 0 of %1 reads back different from what was written; the old sector "
                          "is saved in %2")
                          .arg(drive_->path, last_backup_);
        return -1;
    }

    // The system goes on using the table it read at start-up until it is told to read it
    // again; a disk whose partitions are in use refuses, and the user is told so.
    QString why;
    if (!disk.reread_partition_table(&why))
        last_warning_ = QStringLiteral(
                            "the system still sees the old partition table of %1 (%2); it will read the "
                            "new one when the disk is attached again or the computer restarts")
                            .arg(drive_->path, why);
    return 0;
}
