// vantrel-cli: the engines without a window, for scripts, servers and benchmarks.
#include <QCoreApplication>

#include <cstdio>

#include "cli/cli_common.h"
#include "recovery/diagnostics.h"
#include "disk/drive_list.h"
#include "volumes/volume_enumeration.h"

namespace {

const char* const usage_text =
    "usage: vantrel-cli COMMAND [ARGUMENTS] [--json] [--verbose] [--image IMAGE]... [IMAGE...]\n"
    "\n"
    "commands:\n"
    "  drives                 list the drives: image files named on the command line,\n"
    "                         then the machine's disks (hidden when VANTREL_IMAGES_ONLY=1)\n"
    "  volumes                list the volumes (partitions of the drives, and drives\n"
    "                         without a partition table as a whole) for a file scan\n"
    "  scan VOLUME [--deep] [--save FILE.sav]\n"
    "                         scan VOLUME for deleted files and folders and list them;\n"
    "                         --deep finds files by their content (also used for volumes\n"
    "                         without a FAT or NTFS file system), --save keeps its results\n"
    "  recover VOLUME --out DIR [--deep] [--load FILE.sav] [--overwritten] [GLOB...]\n"
    "                         scan VOLUME (or load saved deep-scan results) and write the\n"
    "                         files (those whose path or name matches a GLOB, or all) into\n"
    "                         DIR, keeping folders; every argument after VOLUME is a\n"
    "                         GLOB, never an image (name images with --image); files\n"
    "                         marked overwritten (their first cluster now belongs to\n"
    "                         another file) fail unless --overwritten is given\n"
    "  search DRIVE           search DRIVE for lost NTFS, FAT32 and exFAT partitions\n"
    "  repair DRIVE [--yes]   search DRIVE, then write the found partitions into a new\n"
    "                         master boot record (asks first unless --yes; the old\n"
    "                         sector 0 is saved to a backup file in the current folder;\n"
    "                         with --yes, DRIVE must be a path)\n"
    "\n"
    "VOLUME is a volume path as `volumes` prints it: /dev/sdb1, or IMAGE@pN for partition\n"
    "N of a disk image (IMAGE@p0: an image without a partition table).\n"
    "DRIVE is a drive number as `drives` prints it, or a path: a disk such as /dev/sdb or\n"
    "a disk image file. Disk images become drives: named with --image IMAGE (any command),\n"
    "or after the command's arguments (every command but recover, whose trailing arguments\n"
    "are globs). --json prints one JSON document on stdout; one progress line goes to\n"
    "stderr, and --verbose adds the engines' diagnostic lines.\n";

int usage_error(const QString& why)
{
    err_line(QStringLiteral("vantrel-cli: ") + why);
    std::fputs(usage_text, stderr);
    return exit_usage;
}

int run(const QStringList& raw)
{
    cli_args_s args;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QString& a = raw[i];
        QString* value = a == QLatin1String("--out")    ? &args.out
                         : a == QLatin1String("--save") ? &args.save
                         : a == QLatin1String("--load") ? &args.load
                                                        : nullptr;
        if (value) {
            if (i + 1 >= raw.size())
                return usage_error(QStringLiteral("%1 needs a value").arg(a));
            *value = raw[++i];
        } else if (a == QLatin1String("--image")) {
            if (i + 1 >= raw.size())
                return usage_error(QStringLiteral("--image needs a value"));
            args.images << raw[++i];
        } else if (a == QLatin1String("--json"))
            args.json = true;
        else if (a == QLatin1String("--yes"))
            args.yes = true;
        else if (a == QLatin1String("--deep"))
            args.deep = true;
        else if (a == QLatin1String("--verbose"))
            args.verbose = true;
        else if (a == QLatin1String("--overwritten"))
            args.overwritten = true;
        else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(usage_text, stdout);
            return exit_ok;
        } else if (a.startsWith(QLatin1String("--")))
            return usage_error(QStringLiteral("unknown option %1").arg(a));
        else if (args.command.isEmpty())
            args.command = a;
        else
            args.positionals << a;
    }

    if (args.command == QLatin1String("drives"))
        return cmd_drives(args);
    if (args.command == QLatin1String("search"))
        return cmd_search(args);
    if (args.command == QLatin1String("repair"))
        return cmd_repair(args);
    if (args.command == QLatin1String("volumes"))
        return cmd_volumes(args);
    if (args.command == QLatin1String("scan"))
        return cmd_scan(args);
    if (args.command == QLatin1String("recover"))
        return cmd_recover(args);
    if (args.command.isEmpty())
        return usage_error(QStringLiteral("no command given"));
    return usage_error(QStringLiteral("unknown command %1").arg(args.command));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    register_drive_meta_types();
    register_volume_meta_types();
    const QStringList raw = app.arguments().mid(1);
    // The engines' diagnostic lines (drives opened, entries counted) go to stderr with
    // --verbose, so that stdout holds only the result; otherwise stderr carries the one
    // progress line and what went wrong.
    set_diagnostic_sink(raw.contains(QStringLiteral("--verbose")) ? stderr_diagnostics() : diagnostic_sink{});
    // A script that asked for JSON gets a document on stdout even when the command fails.
    set_json_output(raw.contains(QStringLiteral("--json")));
    const int code = run(raw);
    json_failure(code);
    return code;
}
