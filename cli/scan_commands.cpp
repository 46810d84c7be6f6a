// scan and recover: a file scan of one volume, listed or written out.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "cli/cli_common.h"
#include "recovery/name_filter.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_writer.h"
#include "volumes/volume_enumeration.h"

namespace {

QString date_text(std::int64_t seconds)
{
    return seconds == 0 ? QStringLiteral("-")
                        : QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject row_json(const recovery_item_s& r)
{
    QJsonObject o{{"name", r.name},
                  {"size", static_cast<double>(r.size)},
                  {"date1", static_cast<double>(r.date1)},
                  {"date2", static_cast<double>(r.date2)},
                  {"id", static_cast<double>(r.id)},
                  {"flags", static_cast<double>(r.flags)}};
    if (r.overwritten)
        o.insert(QStringLiteral("overwritten"), true);
    if (r.in_use_clusters > 0)
        o.insert(QStringLiteral("in_use_clusters"), static_cast<double>(r.in_use_clusters));
    return o;
}

// Runs the session's scan with progress on stderr; Ctrl-C stops it and keeps what was found.
void run_scan(recovery_session_c& session, const volume_item_s& volume, bool deep)
{
    // The deep engine measures its way through the volume; the others count entries.
    const bool by_share = recovery_session_c::engine_for(volume, deep) == engine_kind::deep;
    const auto status = [&] {
        return by_share
                   ? QStringLiteral("%1%").arg(session.progress() * 100.0, 0, 'f', 1)
                   : QStringLiteral("%1 entries read, %2 found").arg(session.read_count()).arg(session.found_count());
    };
    progress_line_c line;
    interrupt_guard_c guard;
    session.start(volume, deep);
    // A stop is passed on within 20 ms, so that even a fast scan ends where it was asked to.
    while (!session.wait(20)) {
        if (interrupt_guard_c::take())
            session.stop(stop_user);
        line.show(QStringLiteral("scanning %1: %2").arg(volume.volume_path, status()));
    }
    line.done(QStringLiteral("scanned %1: %2%3")
                  .arg(volume.volume_path, status(), session.stopped() ? QStringLiteral(" (stopped)") : QString()));
}

// Scans the volume, or loads a deep scan's results. Returns false (with the reason printed)
// when the volume cannot be scanned.
bool scan_volume(const cli_args_s& args, const volume_item_s& volume, recovery_session_c& session)
{
    // The engines' diagnostic lines go to stderr, buffered so that they cost the scan little.
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    if (args.load.isEmpty()) {
        run_scan(session, volume, args.deep);
        if (const QString why = session.failure(); !why.isEmpty()) {
            err_line(QStringLiteral("vantrel-cli: the scan of %1 could not be made: %2").arg(volume.volume_path, why));
            return false;
        }
        if (session.kind() == engine_kind::deep)
            err_line(QStringLiteral("%1 file(s) found by their content").arg(session.found_count()));
        return true;
    }
    const QString error = session.load(args.load, volume_item_list);
    if (!error.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: ") + error);
        return false;
    }
    if (session.volume().volume_path != volume.volume_path)
        err_line(QStringLiteral("note: %1 holds the results of %2; files are read from there")
                     .arg(args.load, session.volume().volume_path));
    return true;
}

// Writes the rows, sorting each outcome into its list and printing it (the table unless
// JSON was asked for; failures on stderr).
void write_all(recovery_writer_c& writer, const QList<recovery_row_s>& rows, const QString& folder, bool json,
               progress_line_c& line, QJsonArray& written, QJsonArray& partial, QJsonArray& failed)
{
    writer.write(rows, folder, true, [&](const recovery_outcome_s& o) {
        if (o.partial()) {
            const auto ranges = [](const std::vector<byte_range_s>& list) {
                QJsonArray out;
                for (const byte_range_s& r : list)
                    out.append(QJsonObject{{"offset", static_cast<double>(r.first)},
                                           {"length", static_cast<double>(r.last - r.first)}});
                return out;
            };
            QJsonObject row{{"path", o.path},
                            {"size", static_cast<double>(o.size)},
                            {"result", o.result},
                            {"unreadable", ranges(o.unreadable)}};
            // Ranges that other files' clusters took are told apart from unreadable ones,
            // and only on the rows that have them.
            QStringList why;
            if (!o.unreadable.empty())
                why << QStringLiteral("unreadable, written as zeros: ") + o.unreadable_text();
            if (!o.in_use.empty()) {
                row["in_use"] = ranges(o.in_use);
                row["reason"] = recover_in_use_text();
                why << recover_in_use_text() + QStringLiteral(": ") + o.in_use_text();
            }
            partial.append(row);
            if (!json)
                line.above(QStringLiteral("partial  %1  (%2 bytes; %3)")
                               .arg(o.path)
                               .arg(o.size)
                               .arg(why.join(QStringLiteral("; "))),
                           true);
        } else if (o.written()) {
            written.append(QJsonObject{{"path", o.path}, {"size", static_cast<double>(o.size)}, {"result", o.result}});
            if (!json)
                line.above(QStringLiteral("written  %1  (%2 bytes)").arg(o.path).arg(o.size), true);
        } else {
            failed.append(QJsonObject{{"path", o.path}, {"result", o.result}, {"reason", o.reason}});
            line.above(QStringLiteral("failed   %1: %2").arg(o.path, o.reason), false);
        }
    });
}

}  // namespace

int cmd_scan(const cli_args_s& args)
{
    if (args.positionals.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: scan needs a VOLUME (vantrel-cli volumes lists them)"));
        return exit_usage;
    }
    if (!args.save.isEmpty() && !args.deep) {
        err_line(QStringLiteral("vantrel-cli: --save keeps the results of a deep scan; add --deep"));
        return exit_usage;
    }
    if (!args.load.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: --load goes with recover --deep"));
        return exit_usage;
    }
    if (args.overwritten) {
        err_line(QStringLiteral("vantrel-cli: --overwritten goes with recover"));
        return exit_usage;
    }
    const std::optional<volume_item_s> volume =
        resolve_volume(args.positionals[0], args.images + args.positionals.mid(1));
    if (!volume)
        return exit_failure;
    recovery_session_c session;
    if (!scan_volume(args, *volume, session))
        return exit_failure;
    if (!args.save.isEmpty()) {
        if (const QString error = session.save(args.save); !error.isEmpty()) {
            err_line(QStringLiteral("vantrel-cli: ") + error);
            return exit_failure;
        }
        err_line(QStringLiteral("results saved to %1").arg(args.save));
    }
    const std::optional<result_tree_s> tree = session.results();
    if (args.json) {
        QJsonArray folders;
        if (tree)
            tree->walk([&](const result_folder_s& folder, std::size_t, const QString& path) {
                QJsonArray files;
                for (const recovery_item_s& row : folder.rows)
                    files.append(row_json(row));
                folders.append(QJsonObject{{"path", path}, {"files", files}});
            });
        print_json(QJsonObject{{"volume", volume->volume_path},
                               {"engine", recovery_session_c::engine_name(session.kind())},
                               {"read_count", static_cast<double>(session.read_count())},
                               {"found_count", static_cast<double>(session.found_count())},
                               {"stopped", session.stopped()},
                               {"folders", folders}});
        return exit_ok;
    }
    std::size_t folders = 0, files = 0, overwritten = 0, partly = 0;
    if (tree)
        tree->walk([&](const result_folder_s& folder, std::size_t, const QString& path) {
            ++folders;
            if (!folder.rows.isEmpty())
                out_line(path);
            for (const recovery_item_s& row : folder.rows) {
                ++files;
                overwritten += row.overwritten ? 1 : 0;
                partly += row.in_use_clusters > 0 ? 1 : 0;
                QString mark;
                if (row.overwritten)
                    mark = QStringLiteral("  overwritten");
                else if (row.in_use_clusters > 0)
                    mark = QStringLiteral("  partly overwritten: %1 of %2 clusters")
                               .arg(row.in_use_clusters)
                               .arg(row.clusters);
                out_line(QStringLiteral("  %1  %2  %3  id %4  flags 0x%5%6")
                             .arg(cell(row.name, 30))
                             .arg(row.size, 12)
                             .arg(date_text(row.date1))
                             .arg(row.id)
                             .arg(row.flags, 2, 16, QLatin1Char('0'))
                             .arg(mark));
            }
        });
    // Files a deep scan finds by their content need not be deleted ones.
    out_line((session.kind() == engine_kind::deep ? QStringLiteral("%1 file(s) found by their content in %2 folder(s)")
                                                  : QStringLiteral("%1 deleted file(s) in %2 folder(s)"))
                 .arg(files)
                 .arg(folders));
    if (overwritten > 0)
        out_line(QStringLiteral("%1 of them overwritten: their first cluster now belongs to another file; "
                                "recover writes them only with --overwritten")
                     .arg(overwritten));
    if (partly > 0)
        out_line(QStringLiteral("%1 of them partly overwritten: some of their clusters now belong to other files; "
                                "recover writes those parts as zeros")
                     .arg(partly));
    return exit_ok;
}

int cmd_recover(const cli_args_s& args)
{
    if (args.positionals.isEmpty() || args.out.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: recover needs a VOLUME and --out DIR"));
        return exit_usage;
    }
    if (!args.load.isEmpty() && !args.deep) {
        err_line(QStringLiteral("vantrel-cli: --load reads the results of a deep scan; add --deep"));
        return exit_usage;
    }
    // Everything after the volume is a glob, even one that names a file here: images come
    // only through --image (or with the volume's own IMAGE@pN path).
    const QStringList globs = args.positionals.mid(1);
    const std::optional<volume_item_s> volume = resolve_volume(args.positionals[0], args.images);
    if (!volume)
        return exit_failure;
    const QDir out(args.out);
    // Refused before the scan: writing there could overwrite the very data being brought back.
    if (const QString why = recovery_writer_c::refusal(out.absolutePath(), *volume); !why.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: ") + why);
        return exit_failure;
    }
    recovery_session_c session;
    if (!scan_volume(args, *volume, session))
        return exit_failure;
    // Made only once there is something to write into it: a scan that fails leaves no folder.
    if (!QDir().mkpath(out.absolutePath())) {
        err_line(QStringLiteral("vantrel-cli: cannot create the folder %1").arg(args.out));
        return exit_failure;
    }

    QList<recovery_row_s> rows;
    if (const std::optional<result_tree_s> tree = session.results())
        rows = name_filter_c(globs).select(recovery_writer_c::rows_of(*tree));
    QJsonArray written, partial, failed;
    recovery_writer_c writer(session);
    writer.write_overwritten = args.overwritten;
    // The files are written on a thread of their own while this one shows how far it got.
    std::uint64_t total = 0;
    for (const recovery_row_s& r : rows)
        total += r.row.size;
    progress_line_c line;
    QElapsedTimer clock;
    clock.start();
    const auto status = [&] {
        const std::uint64_t bytes = std::min(writer.bytes_done(), total);
        const double seconds = std::max<double>(static_cast<double>(clock.elapsed()) / 1000.0, 0.001);
        const double rate = static_cast<double>(bytes) / seconds;
        QString text = QStringLiteral("recovering: %1 of %2 file(s), %3 of %4")
                           .arg(writer.files_done())
                           .arg(rows.size())
                           .arg(human_size(bytes), human_size(total));
        if (clock.elapsed() >= 1000 && rate > 0)
            text += QStringLiteral(", %1/s, %2 left")
                        .arg(human_size(static_cast<std::uint64_t>(rate)),
                             duration_text(static_cast<double>(total - bytes) / rate));
        return text;
    };
    std::promise<void> ended;
    std::future<void> end = ended.get_future();
    // Ctrl-C, SIGTERM or SIGHUP stop the writing after the file being written, so that no
    // half-written file is left behind and the summary still says what was written.
    interrupt_guard_c guard;
    std::thread writing([&] {
        write_all(writer, rows, out.absolutePath(), args.json, line, written, partial, failed);
        ended.set_value();
    });
    while (end.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (interrupt_guard_c::take())
            writer.stop();
        line.show(status());
    }
    writing.join();
    line.done(status());
    const qsizetype left = writer.stopped() ? rows.size() - static_cast<qsizetype>(writer.files_done()) : 0;
    if (left > 0)
        err_line(QStringLiteral("vantrel-cli: stopped; %1 file(s) were not written").arg(left));
    if (args.json)
        print_json(QJsonObject{{"written", written},
                               {"partial", partial},
                               {"failed", failed},
                               {"stopped", writer.stopped()},
                               {"not_written", static_cast<double>(left)}});
    else
        out_line(QStringLiteral("%1 file(s) written to %2, %3 partial, %4 failed%5")
                     .arg(written.size())
                     .arg(out.absolutePath())
                     .arg(partial.size())
                     .arg(failed.size())
                     .arg(left > 0 ? QStringLiteral(", %1 not written (stopped)").arg(left) : QString()));
    // A file that is not whole is a failure for a script, though the partial one is kept.
    return failed.isEmpty() && partial.isEmpty() && left == 0 ? exit_ok : exit_failure;
}
