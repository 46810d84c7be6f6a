#include "recovery/recovery_writer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include "recovery/ntfs/ntfs_library.h"
#include "recovery/recovery_session.h"
#include "volumes/output_folder.h"
#include "volumes/volume_device.h"

recovery_writer_c::recovery_writer_c(recovery_session_c& session) : session_(session) {}

QString recovery_writer_c::refusal(const QString& folder, const volume_item_s& volume)
{
    if (!folder_on_volume_device(QDir(folder).absolutePath(), volume))
        return {};
    return QStringLiteral("%1 lies on the volume being recovered (%2); choose a folder on another disk")
        .arg(QDir(folder).absolutePath(), volume.volume_path);
}

QList<recovery_row_s> recovery_writer_c::rows_of(const result_tree_s& tree)
{
    QList<recovery_row_s> rows;
    tree.walk([&](const result_folder_s& folder, std::size_t, const QString& path) {
        for (const recovery_item_s& row : folder.rows)
            rows.append({path, row});
    });
    return rows;
}

QString recovery_writer_c::safe_name(QString name)
{
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QLatin1Char('_') + name;
    // Short enough for the file system, with room for " (N)": cut before the extension.
    while (name.toUtf8().size() > 240)
        name.remove(name.lastIndexOf(QLatin1Char('.')) > 0 ? name.lastIndexOf(QLatin1Char('.')) - 1 : name.size() - 1,
                    1);
    return name;
}

QString recovery_writer_c::free_path(const output_folder_c& place, const QString& dir, const QString& name)
{
    const auto join = [&](const QString& n) { return dir.isEmpty() ? n : dir + QLatin1Char('/') + n; };
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    QString file = name;
    for (int n = 2; taken_.contains(join(file)) || place.holds(file); ++n)
        file = dot > 0 ? QStringLiteral("%1 (%2)%3").arg(name.left(dot)).arg(n).arg(name.mid(dot))
                       : QStringLiteral("%1 (%2)").arg(name).arg(n);
    taken_.insert(join(file));
    return file;
}

QString recovery_outcome_s::status() const
{
    return partial() ? QStringLiteral("partial") : written() ? QStringLiteral("written") : QStringLiteral("failed");
}

QString recovery_outcome_s::ranges_text(const std::vector<byte_range_s>& ranges)
{
    QStringList parts;
    for (const byte_range_s& r : ranges)
        parts << QStringLiteral("%1-%2").arg(r.first).arg(r.last - 1);
    return QStringLiteral("bytes ") + parts.join(QStringLiteral(", "));
}

std::int32_t recovery_writer_c::copy_file(const QString& source, const QString& target,
                                          std::atomic<std::uint64_t>* bytes)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return recover_failed;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return recover_failed;
    std::vector<char> buffer(128 * 1024);
    for (;;) {
        const qint64 n = in.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (n < 0)
            return recover_read_error;
        if (n == 0)
            break;
        if (out.write(buffer.data(), n) != n)
            return recover_write_error;
        if (bytes)
            bytes->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }
    return out.flush() ? recover_written : recover_write_error;
}

std::int32_t recovery_writer_c::write_source(const recovery_item_s& row, const QString& target,
                                             recover_report_s& report)
{
    recovery_base_c& engine = session_.engine();
    const bool live_ntfs = session_.kind() == engine_kind::ntfs && !(row.flags & ntfs_flag_deleted);
    if (!live_ntfs)
        return engine.recover_item_reported(row.id, target, report);
    // A file that still exists is copied through the file system, which knows it best;
    // that needs the volume mounted.
    const volume_item_s& volume = session_.volume();
    QString source;
    if (volume.root_path.isEmpty() || volume.root_path == volume.device_name) {
        report.reason = QStringLiteral("the file still exists on %1, which is not mounted: copy it from there")
                            .arg(volume.volume_path);
        return recover_failed;
    }
    if (engine.get_item_path(row.id, source) != 0)
        return recover_failed;
    return copy_file(source, target, report.bytes);
}

recovery_outcome_s recovery_writer_c::write_one(const recovery_row_s& r, const QString& root, bool keep_folders)
{
    QStringList parts;
    if (keep_folders)
        for (const QString& folder : r.folder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
            parts << safe_name(folder);
    const QString dir = parts.join(QLatin1Char('/'));
    const auto relative = [&](const QString& name) { return dir.isEmpty() ? name : dir + QLatin1Char('/') + name; };
    recovery_outcome_s o;
    const QString wanted = safe_name(r.row.name);
    o.path = relative(wanted);
    if (r.row.overwritten && !write_overwritten) {
        // Nothing is written, so the name stays free for a row that is.
        o.result = recover_overwritten;
        o.reason = recover_result_text(o.result);
        return o;
    }
    // Folders are entered and files made without following a link, so nothing lands
    // outside the output folder whatever was planted inside it.
    output_folder_c place(root, dir);
    if (!place.valid()) {
        o.result = recover_cannot_create;
        o.reason = place.error();
        return o;
    }
    QString name = free_path(place, dir, wanted);
    o.path = relative(name);
    // Written under a hidden name first, and named only once it is whole.
    const QString temp = place.create_hidden(QStringLiteral(".vantrel-part-"));
    if (temp.isEmpty()) {
        o.result = recover_cannot_create;
        o.reason = place.error();
        return o;
    }
    const QString temp_path = place.path() + QLatin1Char('/') + temp;
    recover_report_s report;
    report.bytes = &bytes_done_;
    {
        const std::lock_guard<std::mutex> reading(session_.read_lock_);
        o.result = write_source(r.row, temp_path, report);
    }
    o.reason = report.reason;
    if (o.written() && r.row.date1 != 0) {
        QFile f(temp_path);
        if (f.open(QIODevice::Append))
            f.setFileTime(QDateTime::fromSecsSinceEpoch(r.row.date1, Qt::UTC), QFileDevice::FileModificationTime);
    }
    if (o.written()) {
        // The name never replaces anything; one taken meanwhile moves the file on to the
        // next free name.
        int error = 0;
        while ((error = place.rename_new(temp, name)) == EEXIST) {
            name = free_path(place, dir, wanted);
            o.path = relative(name);
        }
        if (error != 0) {
            o.result = recover_cannot_create;
            o.reason = QStringLiteral("the file cannot be given its name: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(error)));
        }
    }
    if (!o.written()) {
        place.remove(temp);
        if (o.reason.isEmpty())
            o.reason = recover_result_text(o.result);
        return o;
    }
    o.reason.clear();
    o.unreadable = std::move(report.unreadable);
    o.in_use = std::move(report.in_use);
    o.size = static_cast<std::uint64_t>(QFileInfo(place.path() + QLatin1Char('/') + name).size());
    return o;
}

QList<recovery_outcome_s> recovery_writer_c::write(const QList<recovery_row_s>& rows, const QString& folder,
                                                   bool keep_folders,
                                                   const std::function<void(const recovery_outcome_s&)>& each)
{
    const QString root = QDir(folder).absolutePath();
    QList<recovery_outcome_s> outcomes;
    const auto fail_all = [&](const QString& reason) {
        recovery_outcome_s o;
        o.result = recover_cannot_create;
        o.reason = reason;
        outcomes.append(o);
        if (each)
            each(o);
        return outcomes;
    };
    if (const QString why = on_volume_allowed ? QString() : refusal(root, session_.volume()); !why.isEmpty())
        return fail_all(why);
    if (!QDir().mkpath(root))
        return fail_all(QStringLiteral("the folder %1 cannot be made").arg(root));
    taken_.clear();
    files_done_ = 0;
    bytes_done_ = 0;
    stopped_ = false;
    // The session starts no new scan, which would reset the engine, until this ends.
    ++session_.writers_;
    struct done_s {
        std::atomic<int>& writers;
        ~done_s() { --writers; }
    } done{session_.writers_};
    recovery_base_c& engine = session_.engine();
    // One file needs no batch; a batch of its own would also close the volume under another
    // writer's batch.
    const bool batch = rows.size() > 1;
    const auto batch_step = [&](void (recovery_base_c::*step)()) {
        if (!batch)
            return;
        const std::lock_guard<std::mutex> reading(session_.read_lock_);
        (engine.*step)();
    };
    batch_step(&recovery_base_c::begin_batch);
    for (const recovery_row_s& r : rows) {
        if (stop_) {
            stopped_ = true;
            break;
        }
        outcomes.append(write_one(r, root, keep_folders));
        ++files_done_;
        if (each)
            each(outcomes.back());
    }
    batch_step(&recovery_base_c::end_batch);
    stop_ = false;
    return outcomes;
}
