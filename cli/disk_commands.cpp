// drives, search and repair.
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "cli/cli_common.h"
#include "disk/drive_list.h"
#include "disk/partition_repair.h"

namespace {

QJsonObject partition_json(const partition_item_s& p)
{
    return QJsonObject{{"file_system", p.file_system},
                       {"type", p.type},
                       {"start_sector", static_cast<double>(p.start_sector)},
                       {"end_sector", static_cast<double>(p.end_sector)}};
}

QJsonArray partitions_json(const QList<partition_item_s>& list)
{
    QJsonArray a;
    for (const partition_item_s& p : list)
        a.append(partition_json(p));
    return a;
}

QString partition_line(const partition_item_s& p)
{
    const std::uint64_t bytes = (p.end_sector - p.start_sector + 1) * 512;
    return QStringLiteral("%1  type %2  sectors %3-%4  %5")
        .arg(p.file_system, -5)
        .arg(p.type, 2)
        .arg(p.start_sector)
        .arg(p.end_sector)
        .arg(human_size(bytes));
}

// Runs the search on its thread, printing each partition as it is found (unless JSON was
// asked for) and the progress on stderr. Ctrl-C stops the search and keeps what was found.
// Returns false when the drive could not be read at all.
bool run_search(partition_repair_c& search, const drive_item_s& drive, bool json)
{
    const bool tty = ::isatty(STDERR_FILENO);
    interrupt_guard_c guard;
    search.set_drive(drive);
    search.start_search();
    qsizetype shown = 0;
    int last_step = -1;
    for (bool done = false; !done;) {
        done = search.wait(200);
        if (interrupt_guard_c::take())
            search.request_stop();
        for (; shown < search.found_count(); ++shown)
            if (!json)
                out_line(partition_line(search.found_at(shown)));
        const double p = search.progress();
        if (tty) {
            std::fprintf(stderr, "\rsearching %s: %5.1f%%", drive.path.toLocal8Bit().constData(), p * 100.0);
            std::fflush(stderr);
        } else if (static_cast<int>(p * 10) != last_step) {
            last_step = static_cast<int>(p * 10);
            std::fprintf(stderr, "searching %s: %d%%\n", drive.path.toLocal8Bit().constData(), last_step * 10);
        }
    }
    if (tty)
        std::fputc('\n', stderr);

    for (const bad_range_s& r : search.bad_ranges())
        err_line(QStringLiteral("unreadable: sectors %1-%2 (%3 sectors) skipped")
                     .arg(r.first_sector)
                     .arg(r.first_sector + r.sector_count - 1)
                     .arg(r.sector_count));
    if (search.last_result() != 0) {
        err_line(QStringLiteral("vantrel-cli: cannot open %1 for reading").arg(drive.path));
        return false;
    }
    if (search.was_stopped())
        err_line(QStringLiteral("search stopped at %1%; the partitions found so far are listed")
                     .arg(search.progress() * 100.0, 0, 'f', 1));
    return true;
}

QJsonObject search_json(const partition_repair_c& search, const drive_item_s& drive)
{
    return QJsonObject{{"drive", drive.path},
                       {"partitions", partitions_json(search.found_partitions())},
                       {"bytes_read", static_cast<double>(search.bytes_read())},
                       {"stopped", search.was_stopped()}};
}

QString refusal_name(repair_refusal_e refusal)
{
    switch (refusal) {
    case repair_refusal_e::none:
        return {};
    case repair_refusal_e::no_drive:
        return QStringLiteral("no_drive");
    case repair_refusal_e::search_running:
        return QStringLiteral("search_running");
    case repair_refusal_e::nothing_found:
        return QStringLiteral("nothing_found");
    case repair_refusal_e::gpt_disk:
        return QStringLiteral("gpt_disk");
    case repair_refusal_e::too_many:
        return QStringLiteral("too_many_entries");
    case repair_refusal_e::beyond_mbr:
        return QStringLiteral("beyond_mbr");
    case repair_refusal_e::search_stopped:
        return QStringLiteral("search_stopped");
    }
    return {};
}

QJsonArray table_json(const QList<table_entry_s>& entries)
{
    QJsonArray a;
    for (const table_entry_s& e : entries) {
        QJsonObject o{{"active", (e.status & 0x80) != 0},
                      {"type", e.type},
                      {"file_system", e.file_system},
                      {"start_sector", static_cast<double>(e.start_sector)},
                      {"end_sector", static_cast<double>(e.end_sector())},
                      {"sector_count", static_cast<double>(e.sector_count)},
                      {"fate", entry_fate_name(e.fate)}};
        if (e.slot != 0)
            o.insert("old_entry", e.slot);
        if (!e.note.isEmpty())
            o.insert("note", e.note);
        a.append(o);
    }
    return a;
}

// The old table and the new one side by side, then what each note says, so that the
// question is asked about what will really be written.
void print_plan(const table_plan_s& plan, const QString& drive)
{
    out_line(QStringLiteral("Partition table of %1 (* active; sectors, type, file system):").arg(drive));
    for (const QString& line : describe_table_plan(plan))
        out_line(line);
}

bool confirmed(const drive_item_s& drive)
{
    if (!::isatty(STDIN_FILENO)) {
        err_line(QStringLiteral("vantrel-cli: not writing without a confirmation; run on a terminal or add --yes"));
        return false;
    }
    std::fprintf(stderr,
                 "Write a new master boot record to %s?\n"
                 "Its partition table becomes the one shown \"after the repair\"; the old sector 0 is saved\n"
                 "to a backup file first.\n"
                 "Type yes to go on: ",
                 drive.path.toLocal8Bit().constData());
    std::fflush(stderr);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin) || QString::fromLocal8Bit(line).trimmed() != QLatin1String("yes")) {
        err_line(QStringLiteral("vantrel-cli: not confirmed; nothing written"));
        return false;
    }
    return true;
}

}  // namespace

int cmd_drives(const cli_args_s& args)
{
    if (!load_drives(args.images + args.positionals))
        return exit_failure;
    QJsonArray list;
    if (!args.json)
        out_line(QStringLiteral("#  %1  %2  geometry (cylinders/heads/sectors)")
                     .arg(QStringLiteral("path"), -40)
                     .arg(QStringLiteral("size"), 12));
    for (qsizetype n = 1; n < drive_list.size(); ++n) {
        const drive_item_s& d = drive_list[n];
        const disk_geometry_s g = d.geometry.value_or(disk_geometry_s{});
        if (args.json) {
            list.append(QJsonObject{{"number", static_cast<int>(n - 1)},
                                    {"path", d.path},
                                    {"size", static_cast<double>(d.size)},
                                    {"cylinders", static_cast<double>(g.cylinders)},
                                    {"tracks_per_cylinder", static_cast<double>(g.tracks_per_cylinder)},
                                    {"sectors_per_track", static_cast<double>(g.sectors_per_track)},
                                    {"bytes_per_sector", static_cast<double>(g.bytes_per_sector)}});
        } else {
            out_line(QStringLiteral("%1  %2  %3  %4/%5/%6")
                         .arg(n - 1)
                         .arg(cell(d.path, 40))
                         .arg(human_size(d.size), 12)
                         .arg(g.cylinders)
                         .arg(g.tracks_per_cylinder)
                         .arg(g.sectors_per_track));
        }
    }
    if (args.json)
        print_json(QJsonObject{{"drives", list}});
    else if (drive_list.size() <= 1)
        out_line(QStringLiteral("no drives"));
    return exit_ok;
}

namespace {

// Finds the drive the command names and searches it; the exit code when that fails.
std::optional<exit_code> search_named_drive(const cli_args_s& args, partition_repair_c& search,
                                            std::optional<drive_item_s>& drive)
{
    if (args.positionals.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: %1 needs a DRIVE (a number or a path)").arg(args.command));
        return exit_usage;
    }
    drive = resolve_drive(args.positionals[0], args.images + args.positionals.mid(1));
    if (!drive || !run_search(search, *drive, args.json))
        return exit_failure;
    return std::nullopt;
}

}  // namespace

int cmd_search(const cli_args_s& args)
{
    partition_repair_c search;
    std::optional<drive_item_s> drive;
    if (const std::optional<exit_code> failed = search_named_drive(args, search, drive))
        return *failed;
    if (args.json)
        print_json(search_json(search, *drive));
    else
        out_line(QStringLiteral("%1 partition(s) found on %2").arg(search.found_count()).arg(drive->path));
    return exit_ok;
}

int cmd_repair(const cli_args_s& args)
{
    // Drive numbers move when images are added or disks come and go, so a write without a
    // question names the drive by its path; a number is taken only with the question, which
    // shows the path it stands for.
    bool is_number = false;
    if (args.yes && !args.positionals.isEmpty() && (args.positionals[0].toInt(&is_number), is_number)) {
        err_line(
            QStringLiteral("vantrel-cli: repair --yes takes the drive's path, not its number: numbers change "
                           "when images are added (vantrel-cli drives shows the path of each number)"));
        return exit_usage;
    }
    partition_repair_c search;
    // Ctrl-C during the search means "abort": a partial search is never written.
    search.require_whole_search(true);
    std::optional<drive_item_s> drive;
    if (const std::optional<exit_code> failed = search_named_drive(args, search, drive))
        return *failed;
    const table_plan_s plan = search.plan_repair();
    if (!args.json)
        print_plan(plan, drive->path);
    if (plan.refusal != repair_refusal_e::none) {
        if (args.json) {
            QJsonObject doc = search_json(search, *drive);
            doc.insert("result", -1);
            doc.insert("refusal", refusal_name(plan.refusal));
            doc.insert("error", search.last_error());
            doc.insert("old_table", table_json(plan.old_entries));
            doc.insert("new_table", QJsonArray{});
            print_json(doc);
        }
        err_line(QStringLiteral("vantrel-cli: ") + search.last_error());
        return exit_failure;
    }
    if (!args.yes && !confirmed(*drive))
        return exit_failure;

    const int result = search.write_partition_table();
    if (args.json) {
        QJsonObject doc = search_json(search, *drive);
        doc.insert("result", result);
        doc.insert("backup", search.last_backup_path());
        if (!search.last_warning().isEmpty())
            doc.insert("warning", search.last_warning());
        doc.insert("old_table", table_json(search.last_plan().old_entries));
        doc.insert("new_table", table_json(search.last_plan().new_entries));
        if (search.last_refusal() != repair_refusal_e::none)
            doc.insert("refusal", refusal_name(search.last_refusal()));
        if (result != 0)
            doc.insert("error", search.last_error());
        print_json(doc);
    }
    if (result != 0) {
        err_line(QStringLiteral("vantrel-cli: ") + search.last_error());
        return exit_failure;
    }
    if (!args.json)
        out_line(QStringLiteral("new master boot record written to %1; the old sector 0 is saved in %2")
                     .arg(drive->path, search.last_backup_path()));
    if (!search.last_warning().isEmpty())
        err_line(QStringLiteral("vantrel-cli: ") + search.last_warning());
    return exit_ok;
}
