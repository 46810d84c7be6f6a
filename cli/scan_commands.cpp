// scan and recover: a file scan of one volume, listed or written out.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "cli/cli_common.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_recovery.h"
#include "recovery/fat/fat_results.h"
#include "volumes/volume_enumeration.h"

namespace {

std::atomic<bool> interrupted{false};

void on_interrupt(int)
{
    interrupted = true;
}

// A found file with the folder it was found in.
struct found_file_s {
    QString folder;  // "/" or "/name/name"
    recovery_item_s row;
};

struct scan_result_s {
    QString engine;
    QJsonArray folders;
    QList<found_file_s> files;
};

// Finds the volume the user named, making a drive of the image it lies on.
std::optional<volume_item_s> resolve_volume(QString name, QStringList images)
{
    static const QRegularExpression image_partition(QStringLiteral("^(.*)@p(\\d+)$"));
    const QRegularExpressionMatch m = image_partition.match(name);
    if (m.hasMatch() && QFileInfo(m.captured(1)).isFile()) {
        const QString image = QFileInfo(m.captured(1)).absoluteFilePath();
        name = image + QStringLiteral("@p") + m.captured(2);
        images = with_image(images, image);
    }
    if (!load_drives(images))
        return std::nullopt;
    enumerate_volumes();
    for (const volume_item_s& v : volume_item_list)
        if (!v.volume_path.isEmpty() && v.volume_path == name)
            return v;
    err_line(QStringLiteral("vantrel-cli: there is no volume %1 (vantrel-cli volumes lists them)").arg(name));
    return std::nullopt;
}

QString date_text(std::int64_t seconds)
{
    return seconds == 0 ? QStringLiteral("-")
                        : QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject row_json(const recovery_item_s& r)
{
    return QJsonObject{{"name", r.name},
                       {"size", static_cast<double>(r.size)},
                       {"date1", static_cast<double>(r.date1)},
                       {"date2", static_cast<double>(r.date2)},
                       {"id", static_cast<double>(r.id)},
                       {"flags", static_cast<double>(r.flags)}};
}

void collect_fat(const fat_folder_node_s& node, const QString& path, scan_result_s& out)
{
    QJsonArray files;
    for (const recovery_item_s& row : fat_folder_rows(*node.entry)) {
        files.append(row_json(row));
        out.files.append({path, row});
    }
    out.folders.append(QJsonObject{{"path", path}, {"files", files}});
    for (const fat_folder_node_s& child : node.children)
        collect_fat(child, (path == QLatin1String("/") ? QString() : path) + QLatin1Char('/') + child.name, out);
}

// Runs an engine's scan on its thread with progress on stderr; Ctrl-C stops it and keeps
// what was found.
void run_engine(recovery_base_c& engine, const volume_item_s& volume)
{
    const bool tty = ::isatty(STDERR_FILENO);
    std::signal(SIGINT, on_interrupt);
    engine.reset();
    engine.set_volume(volume);
    engine.start(QThread::InheritPriority);
    while (!engine.wait(200)) {
        if (interrupted.exchange(false))
            engine.set_stop(stop_user);
        if (tty) {
            std::fprintf(stderr, "\rscanning %s: %lld entries read, %lld found", volume.volume_path.toLocal8Bit().constData(),
                         static_cast<long long>(engine.get_read_count()), static_cast<long long>(engine.get_found_count()));
            std::fflush(stderr);
        }
    }
    std::signal(SIGINT, SIG_DFL);
    engine.set_progress(1.0);
    std::fprintf(stderr, "%sscanned %s: %lld entries read, %lld found%s\n", tty ? "\r" : "",
                 volume.volume_path.toLocal8Bit().constData(), static_cast<long long>(engine.get_read_count()),
                 static_cast<long long>(engine.get_found_count()),
                 engine.get_stop() == stop_user ? " (stopped)" : "");
    std::fflush(stderr);
}

// Picks the engine for the volume, scans, and gathers the folders and files to show.
// Returns nothing (with the reason printed) when the volume cannot be scanned.
std::optional<scan_result_s> scan_volume(const cli_args_s& args, const volume_item_s& volume, fat_recovery_c& fat)
{
    if (args.deep) {
        err_line(QStringLiteral("vantrel-cli: the deep scan is not available yet"));
        return std::nullopt;
    }
    if (!volume.file_system.startsWith(QLatin1String("FAT"))) {
        err_line(QStringLiteral("vantrel-cli: %1 holds %2; only FAT volumes can be scanned so far")
                     .arg(volume.volume_path,
                          volume.file_system.isEmpty() ? QStringLiteral("no known file system") : volume.file_system));
        return std::nullopt;
    }
    // The engine's console lines go to stderr, buffered so that they cost the scan little.
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    set_fat_diagnostics(stderr);
    open_fat_drives();
    run_engine(fat, volume);

    scan_result_s result;
    result.engine = QStringLiteral("fat");
    if (const std::optional<fat_folder_node_s> tree = fat_folder_tree(fat))
        collect_fat(*tree, QStringLiteral("/"), result);
    return result;
}

// A name that is safe as one path component: no separator or NUL, not "." or "..", and
// short enough for the file system.
QString safe_component(QString name)
{
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QLatin1Char('_') + name;
    while (name.toUtf8().size() > 240)
        name.remove(name.lastIndexOf(QLatin1Char('.')) > 0 ? name.lastIndexOf(QLatin1Char('.')) - 1 : name.size() - 1, 1);
    return name;
}

// The relative path a file is written to, below the output folder; a second file of the
// same name in the same folder gets " (2)" and so on, so nothing found is overwritten.
QString target_path(const found_file_s& f, QSet<QString>& used)
{
    QStringList parts;
    for (const QString& folder : f.folder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        parts << safe_component(folder);
    const QString name = safe_component(f.row.name);
    const QString dir = parts.join(QLatin1Char('/'));
    const auto join = [&](const QString& n) { return dir.isEmpty() ? n : dir + QLatin1Char('/') + n; };
    QString path = join(name);
    for (int n = 2; used.contains(path); ++n) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        path = join(dot > 0 ? QStringLiteral("%1 (%2)%3").arg(name.left(dot)).arg(n).arg(name.mid(dot))
                            : QStringLiteral("%1 (%2)").arg(name).arg(n));
    }
    used.insert(path);
    return path;
}

bool matches(const QStringList& globs, const found_file_s& f)
{
    if (globs.isEmpty())
        return true;
    const QString full = (f.folder == QLatin1String("/") ? QString() : f.folder) + QLatin1Char('/') + f.row.name;
    for (const QString& g : globs) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(g));
        if (re.match(g.contains(QLatin1Char('/')) ? full : f.row.name).hasMatch())
            return true;
    }
    return false;
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
    const std::optional<volume_item_s> volume = resolve_volume(args.positionals[0], args.positionals.mid(1));
    if (!volume)
        return exit_failure;
    fat_recovery_c fat;
    const std::optional<scan_result_s> result = scan_volume(args, *volume, fat);
    if (!result)
        return exit_failure;
    if (args.json) {
        print_json(QJsonObject{{"volume", volume->volume_path},
                               {"engine", result->engine},
                               {"read_count", static_cast<double>(fat.get_read_count())},
                               {"found_count", static_cast<double>(fat.get_found_count())},
                               {"stopped", fat.get_stop() == stop_user},
                               {"folders", result->folders}});
        return exit_ok;
    }
    QString folder;
    for (const found_file_s& f : result->files) {
        if (f.folder != folder)
            out_line(f.folder);
        folder = f.folder;
        out_line(QStringLiteral("  %1  %2  %3  id %4  flags 0x%5")
                     .arg(f.row.name, -30)
                     .arg(f.row.size, 12)
                     .arg(date_text(f.row.date1))
                     .arg(f.row.id)
                     .arg(f.row.flags, 2, 16, QLatin1Char('0')));
    }
    out_line(QStringLiteral("%1 deleted file(s) in %2 folder(s)").arg(result->files.size()).arg(result->folders.size()));
    return exit_ok;
}

int cmd_recover(const cli_args_s& args)
{
    if (args.positionals.isEmpty() || args.out.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: recover needs a VOLUME and --out DIR"));
        return exit_usage;
    }
    if (!args.load.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: loading scan results is not available yet"));
        return exit_failure;
    }
    // Globs follow the volume; image paths among them are drives, not globs.
    QStringList globs, images;
    for (const QString& p : args.positionals.mid(1))
        (QFileInfo(p).isFile() ? images : globs) << p;
    const std::optional<volume_item_s> volume = resolve_volume(args.positionals[0], images);
    if (!volume)
        return exit_failure;
    const QDir out(args.out);
    if (!QDir().mkpath(out.absolutePath())) {
        err_line(QStringLiteral("vantrel-cli: cannot create the folder %1").arg(args.out));
        return exit_failure;
    }
    fat_recovery_c fat;
    const std::optional<scan_result_s> result = scan_volume(args, *volume, fat);
    if (!result)
        return exit_failure;

    QJsonArray written, failed;
    QSet<QString> used;
    for (const found_file_s& f : result->files) {
        if (!matches(globs, f))
            continue;
        const QString rel = target_path(f, used);
        const QString abs = out.absoluteFilePath(rel);
        const bool made = QDir().mkpath(QFileInfo(abs).absolutePath());
        const int r = made ? fat.recover_item(f.row.id, abs) : -1;
        if (r == 0) {
            written.append(QJsonObject{{"path", rel}, {"size", static_cast<double>(QFileInfo(abs).size())}, {"result", r}});
            if (!args.json)
                out_line(QStringLiteral("written  %1  (%2 bytes)").arg(rel).arg(QFileInfo(abs).size()));
        } else {
            failed.append(QJsonObject{{"path", rel}, {"result", r}});
            err_line(QStringLiteral("failed   %1").arg(rel));
        }
    }
    if (args.json)
        print_json(QJsonObject{{"written", written}, {"failed", failed}});
    else
        out_line(QStringLiteral("%1 file(s) written to %2, %3 failed").arg(written.size()).arg(out.absolutePath()).arg(failed.size()));
    return failed.isEmpty() ? exit_ok : exit_failure;
}
