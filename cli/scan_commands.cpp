// scan and recover: a file scan of one volume, listed or written out.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_common.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_recovery.h"
#include "recovery/fat/fat_results.h"
#include "recovery/ntfs/ntfs_results.h"
#include "recovery/raw/raw_results.h"
#include "recovery/signatures/sc_library.h"
#include "volumes/volume_device.h"
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
    recovery_base_c* scanner = nullptr;
    QJsonArray folders;
    QList<found_file_s> files;
};

// One engine of each kind; the volume's file system picks the one that scans.
struct engines_s {
    fat_recovery_c fat;
    ntfs_recovery_c ntfs;
    raw_recovery_c deep;
};

// Finds the volume the user named, making a drive of the image it lies on.
std::optional<volume_item_s> resolve_volume(QString name, QStringList images)
{
    if (const std::optional<image_volume_s> m = parse_image_volume(name)) {
        const QString image = QFileInfo(m->image).absoluteFilePath();
        name = image + QStringLiteral("@p") + QString::number(m->partition);
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

// Lists each folder of a tree with its files, depth first.
template <typename tree_t, typename rows_t>
void collect(const tree_t& tree, rows_t rows_of, scan_result_s& out)
{
    tree.walk([&](const auto& node, const QString& path) {
        QJsonArray files;
        for (const recovery_item_s& row : rows_of(*node.entry)) {
            files.append(row_json(row));
            out.files.append({path, row});
        }
        out.folders.append(QJsonObject{{"path", path}, {"files", files}});
    });
}

// Runs an engine's scan on its thread with progress on stderr; Ctrl-C stops it and keeps
// what was found.
void run_engine(recovery_base_c& engine, const volume_item_s& volume)
{
    // The deep engine measures its way through the volume; the others count entries.
    const bool by_share = qobject_cast<raw_recovery_c*>(&engine) != nullptr;
    const QByteArray name = volume.volume_path.toLocal8Bit();
    const auto status = [&] {
        return by_share ? QStringLiteral("%1%").arg(engine.get_progress() * 100.0, 0, 'f', 1)
                        : QStringLiteral("%1 entries read, %2 found").arg(engine.get_read_count()).arg(engine.get_found_count());
    };
    const bool tty = ::isatty(STDERR_FILENO);
    std::signal(SIGINT, on_interrupt);
    engine.reset();
    engine.set_volume(volume);
    engine.start(QThread::InheritPriority);
    while (!engine.wait(200)) {
        if (interrupted.exchange(false))
            engine.set_stop(stop_user);
        if (tty) {
            std::fprintf(stderr, "\rscanning %s: %s", name.constData(), status().toLocal8Bit().constData());
            std::fflush(stderr);
        }
    }
    std::signal(SIGINT, SIG_DFL);
    const bool stopped = engine.get_stop() == stop_user;
    if (!stopped)
        engine.set_progress(1.0);
    std::fprintf(stderr, "%sscanned %s: %s%s\n", tty ? "\r" : "", name.constData(), status().toLocal8Bit().constData(),
                 stopped ? " (stopped)" : "");
    std::fflush(stderr);
}

// The deep engine's results: "/" and one folder per file type.
void collect_deep(const raw_recovery_c& deep, scan_result_s& out)
{
    out.folders.append(QJsonObject{{"path", "/"}, {"files", QJsonArray{}}});
    for (const QString& type : raw_folders(deep)) {
        QJsonArray files;
        const QString path = QLatin1Char('/') + type;
        for (const recovery_item_s& row : raw_folder_rows(deep, type)) {
            files.append(row_json(row));
            out.files.append({path, row});
        }
        out.folders.append(QJsonObject{{"path", path}, {"files", files}});
    }
}

// Picks the engine for the volume, scans, and gathers the folders and files to show.
// Returns nothing (with the reason printed) when the volume cannot be scanned.
std::optional<scan_result_s> scan_volume(const cli_args_s& args, const volume_item_s& volume, engines_s& engines)
{
    const bool fat = volume.file_system.startsWith(QLatin1String("FAT"));
    const bool ntfs = volume.file_system == QLatin1String("NTFS");
    // The engines' console lines go to stderr, buffered so that they cost the scan little.
    static char buffer[1 << 16];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);

    scan_result_s result;
    if (args.deep || (!fat && !ntfs)) {
        // A volume without a file system we know is read by its content alone.
        result.engine = QStringLiteral("deep");
        result.scanner = &engines.deep;
        sc_load_config("./Orvane.conf");
        if (!args.load.isEmpty()) {
            const QString device = engines.deep.read_scan_result(args.load);
            if (device.isEmpty()) {
                err_line(QStringLiteral("vantrel-cli: %1 is not a scan-result file that can be used").arg(args.load));
                return std::nullopt;
            }
            if (device != volume.volume_path)
                err_line(QStringLiteral("note: %1 holds the results of %2; files are read from there")
                             .arg(args.load, device));
            // Files are read from the device the results were found on.
            volume_item_s source = volume;
            source.volume_path = device;
            engines.deep.set_volume(source);
        } else {
            run_engine(engines.deep, volume);
            err_line(QStringLiteral("%1 file(s) found by their content").arg(engines.deep.found_files.size()));
        }
        collect_deep(engines.deep, result);
        return result;
    }
    if (fat) {
        open_fat_drives();
        run_engine(engines.fat, volume);
        result.engine = QStringLiteral("fat");
        result.scanner = &engines.fat;
        if (const std::optional<fat_folder_tree_s> tree = fat_folder_tree(engines.fat))
            collect(*tree, fat_folder_rows, result);
    } else {
        run_engine(engines.ntfs, volume);
        result.engine = QStringLiteral("ntfs");
        result.scanner = &engines.ntfs;
        if (const std::optional<ntfs_folder_tree_s> tree = ntfs_folder_tree(engines.ntfs))
            collect(*tree, ntfs_folder_rows, result);
    }
    return result;
}

// Writes one found file: a deleted one through its engine; a live NTFS file by copying it
// from the mounted volume, which is only possible when the volume is mounted.
int write_found(const scan_result_s& scan, const volume_item_s& volume, const found_file_s& f, const QString& target)
{
    const bool live_ntfs = scan.engine == QLatin1String("ntfs") && !(f.row.flags & ntfs_flag_deleted);
    if (!live_ntfs)
        return scan.scanner->recover_item(f.row.id, target);
    QString source;
    if (volume.root_path == volume.device_name || scan.scanner->get_item_path(f.row.id, source) != 0)
        return -1;
    QFile::remove(target);
    return QFile::copy(source, target) ? 0 : -1;
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

// Whether a folder (or, while it does not exist yet, its nearest existing parent) lies on
// the file system of a volume's block device.
bool on_volume(QString folder, const volume_item_s& volume)
{
    struct stat device {};
    if (::stat(QFile::encodeName(volume.volume_path).constData(), &device) != 0 || !S_ISBLK(device.st_mode))
        return false;
    struct stat place {};
    while (::stat(QFile::encodeName(folder).constData(), &place) != 0) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            return false;
        folder = up;
    }
    return place.st_dev == device.st_rdev;
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
    if (!args.load.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: --load goes with recover --deep"));
        return exit_usage;
    }
    const std::optional<volume_item_s> volume = resolve_volume(args.positionals[0], args.positionals.mid(1));
    if (!volume)
        return exit_failure;
    engines_s engines;
    const std::optional<scan_result_s> result = scan_volume(args, *volume, engines);
    if (!result)
        return exit_failure;
    if (!args.save.isEmpty()) {
        if (engines.deep.write_scan_result(args.save) != 0) {
            err_line(QStringLiteral("vantrel-cli: cannot save the results to %1 (nothing found, or the file cannot be made)")
                         .arg(args.save));
            return exit_failure;
        }
        err_line(QStringLiteral("results saved to %1").arg(args.save));
    }
    if (args.json) {
        print_json(QJsonObject{{"volume", volume->volume_path},
                               {"engine", result->engine},
                               {"read_count", static_cast<double>(result->scanner->get_read_count())},
                               {"found_count", static_cast<double>(result->scanner->get_found_count())},
                               {"stopped", result->scanner->get_stop() == stop_user},
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
    if (!args.load.isEmpty() && !args.deep) {
        err_line(QStringLiteral("vantrel-cli: --load reads the results of a deep scan; add --deep"));
        return exit_usage;
    }
    // Globs follow the volume; image paths among them are drives, not globs.
    QStringList globs, images;
    for (const QString& p : args.positionals.mid(1))
        (QFileInfo(p).isFile() ? images : globs) << p;
    const std::optional<volume_item_s> volume = resolve_volume(args.positionals[0], images);
    if (!volume)
        return exit_failure;
    const QDir out(args.out);
    if (on_volume(out.absolutePath(), *volume)) {
        // Writing there could overwrite the very data that is being brought back.
        err_line(QStringLiteral("vantrel-cli: %1 lies on the volume being recovered (%2); choose a folder on "
                                "another disk")
                     .arg(out.absolutePath(), volume->volume_path));
        return exit_failure;
    }
    if (!QDir().mkpath(out.absolutePath())) {
        err_line(QStringLiteral("vantrel-cli: cannot create the folder %1").arg(args.out));
        return exit_failure;
    }
    engines_s engines;
    const std::optional<scan_result_s> result = scan_volume(args, *volume, engines);
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
        const int r = made ? write_found(*result, *volume, f, abs) : -1;
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
