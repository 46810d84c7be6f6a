#include "recovery/ntfs/ntfs_recovery.h"

#include <QFile>

#include <cstdio>
#include <array>
#include <cstring>
#include <ctime>
#include <vector>

#include "disk/le.h"
#include "recovery/diagnostics.h"
#include "recovery/record_links.h"
#include "volumes/volume_device.h"

std::uint64_t ntfs_entry_s::record() const
{
    return le64(area, NTFS_REC_Record);
}
std::uint64_t ntfs_entry_s::parent() const
{
    return le64(area, NTFS_REC_Parent);
}
std::uint64_t ntfs_entry_s::size() const
{
    return le64(area, NTFS_REC_Size);
}
std::int64_t ntfs_entry_s::date1() const
{
    return static_cast<std::int64_t>(le64(area, NTFS_REC_Date1));
}
std::int64_t ntfs_entry_s::date2() const
{
    return static_cast<std::int64_t>(le64(area, NTFS_REC_Date2));
}
std::uint32_t ntfs_entry_s::flags() const
{
    return le32(area, NTFS_REC_Flags);
}

QString ntfs_entry_s::name() const
{
    QString text;
    for (std::size_t i = 0; i + 1 < ntfs_name_chars; ++i) {
        const char16_t c = le16(area, NTFS_REC_Name + 2 * i);
        if (c == 0)
            break;
        text += QChar(c);
    }
    return text;
}

ntfs_recovery_c::ntfs_recovery_c()
{
    reset();
}

ntfs_recovery_c::~ntfs_recovery_c()
{
    set_stop(stop_discard);
    wait();
    if (le32(ntfs_scan_context, NTFS_CTX_Open) != 0)
        ntfs_scan_close(ntfs_scan_context.data());
}

void ntfs_recovery_c::reset()
{
    reset_state();
    entry_table.clear();
}

QString ntfs_recovery_c::device_name(const volume_item_s& volume)
{
    return QStringLiteral("/dev/hd%1%2").arg(QChar(u'a' + volume.disk_number)).arg(volume.partition_number);
}

// One line to "Quennet.log" in the working directory and one to stderr.
void ntfs_recovery_c::log_startup_failure(std::int32_t result)
{
    const char* where = "[ntfs_recovery:105] ";
    if (std::FILE* log = std::fopen("Quennet.log", "a")) {
        const std::time_t now = std::time(nullptr);
        char stamp[64] = {};
        std::strncpy(stamp, std::ctime(&now), sizeof stamp - 1);
        if (char* end = std::strchr(stamp, '\n'))
            *end = 0;
        std::fprintf(log, "%s  %sntfs_scan_startup failed with return value (%d)\n", stamp, where, result);
        std::fclose(log);
    }
    diagnostic("ERROR: %sntfs_scan_startup failed with return value (%d)\n", where, result);
}

QString ntfs_recovery_c::startup_failure_text(std::int32_t result) const
{
    QString text = result == ntfs_startup_not_ntfs
                       ? QStringLiteral("no NTFS file system that can be read is on %1")
                       : QStringLiteral("%1 cannot be opened, or its boot sector cannot be read");
    text = text.arg(volume_.volume_path);
    // A volume cut short (an image copied in part, a partition shorter than its file system)
    // is the usual cause: say so, with both lengths.
    const std::unique_ptr<block_device> device = open_volume(volume_);
    std::array<std::uint8_t, 512> boot{};
    if (device && device->read_at(0, boot.data(), boot.size()) == static_cast<std::int64_t>(boot.size()) &&
        std::memcmp(boot.data() + 3, "NTFS    ", 8) == 0) {
        const std::uint64_t claimed = le64(boot, 0x28) * le16(boot, 0x0B);  // sectors x bytes per sector
        if (claimed > device->size())
            text += QStringLiteral(
                        ": the volume holds %1 bytes, but its file system says %2 (a truncated image "
                        "or partition)")
                        .arg(device->size())
                        .arg(claimed);
    }
    return text;
}

void ntfs_recovery_c::run()
{
    reset();
    if (le32(ntfs_scan_context, NTFS_CTX_Open) != 0) {
        ntfs_scan_close(ntfs_scan_context.data());
        ntfs_scan_context.fill(0);
    }
    // The volume item says where the volume lies; the library is handed it open, so that
    // nothing probes the drive again to find it by its "/dev/hd" name.
    std::unique_ptr<block_device> device = open_volume(volume_);
    const std::int32_t r =
        device ? ntfs_scan_startup_device(std::move(device), ntfs_scan_context.data()) : ntfs_startup_cannot_open;
    if (r < 0) {
        log_startup_failure(r);
        failure_ = startup_failure_text(r);
        return;
    }
    walk_open_volume();
}

void ntfs_recovery_c::walk_open_volume()
{
    for (;;) {
        if (!may_go_on())
            break;
        ntfs_entry_s entry;
        if (ntfs_scan_next(ntfs_scan_context.data(), entry.area.data()) == 0)
            break;
        const std::uint32_t position =
            le32(ntfs_scan_context, NTFS_CTX_CounterC) +
            8 * (le32(ntfs_scan_context, NTFS_CTX_CounterA) + le32(ntfs_scan_context, NTFS_CTX_CounterB));
        const auto total = static_cast<std::int64_t>(le64(ntfs_scan_context, NTFS_CTX_Total));
        // A library that reports no total gives no progress rather than a division by zero.
        progress_ = total > 0 ? static_cast<double>(position) / static_cast<double>(total) : 0.0;
        ++read_count_;
        const std::uint32_t flags = entry.flags();
        if ((flags & ntfs_flag_deleted) || !(flags & ntfs_flag_file)) {
            ++found_count_;
            entry_table[entry.record()] = entry;
        }
    }
    link_children();
    mark_content();
}

void ntfs_recovery_c::link_children()
{
    // The root names itself as its parent and so joins its own children; the viewers'
    // filter leaves it out with the file system's other records.
    link_records(
        entry_table, [](const ntfs_entry_s& e) { return e.parent(); }, [](const ntfs_entry_s&) { return false; });
}

void ntfs_recovery_c::mark_content()
{
    mark_records(
        entry_table, [](const ntfs_entry_s& e) { return e.parent(); },
        [](const ntfs_entry_s& e) { return (e.flags() & ntfs_flag_file) != 0; });
}

std::int32_t ntfs_recovery_c::recover_item(std::uint64_t id, QString path)
{
    recover_report_s report;
    return recover_item_reported(id, path, report);
}

std::int32_t ntfs_recovery_c::recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report)
{
    QFile::remove(path);
    std::vector<byte_range_s> unreadable;
    const std::int32_t result =
        ntfs_undelete_reported(ntfs_scan_context.data(), id, path.toLocal8Bit().constData(), &unreadable, report.bytes);
    for (const byte_range_s& r : unreadable)
        report.add_unreadable(r.first, r.last);
    if (result == ntfs_undelete_partial)
        return recover_partial;
    if (result == ntfs_undelete_truncated)
        report.reason = QStringLiteral(
            "the volume ends before the file's data (its image or partition is shorter "
            "than its file system)");
    return result;
}

std::int32_t ntfs_recovery_c::get_item_path(std::uint64_t id, QString& out)
{
    return record_path(
        entry_table, id, [](const ntfs_entry_s& e) { return e.parent(); },
        [](std::uint64_t parent) { return parent == ntfs_root_record; }, [](const ntfs_entry_s& e) { return e.name(); },
        volume_.root_path, out);
}
