// volumes: the volumes a file scan can start from.
#include <QJsonArray>
#include <QJsonObject>

#include "cli/cli_common.h"
#include "volumes/volume_enumeration.h"

int cmd_volumes(const cli_args_s& args)
{
    if (!load_drives(args.images + args.positionals))
        return exit_failure;
    if (enumerate_volumes() != 0) {
        err_line(QStringLiteral("vantrel-cli: the volumes cannot be listed"));
        return exit_failure;
    }
    QJsonArray list;
    if (!args.json)
        out_line(QStringLiteral("%1  %2  %3  %4  %5  %6")
                     .arg(QStringLiteral("volume"), -40)
                     .arg(QStringLiteral("file system"), -11)
                     .arg(QStringLiteral("label"), -12)
                     .arg(QStringLiteral("size"), 12)
                     .arg(QStringLiteral("free"), 12)
                     .arg(QStringLiteral("mounted at")));
    for (qsizetype n = 1; n < volume_item_list.size(); ++n) {
        const volume_item_s& v = volume_item_list[n];
        if (args.json) {
            list.append(QJsonObject{{"volume_path", v.volume_path},
                                    {"device_name", v.device_name},
                                    {"label", v.label},
                                    {"file_system", v.file_system},
                                    {"root_path", v.root_path},
                                    {"total_bytes", static_cast<double>(v.total_bytes)},
                                    {"free_bytes", static_cast<double>(v.free_bytes)},
                                    {"partition_number", v.partition_number},
                                    {"disk_number", v.disk_number},
                                    {"start_sector", static_cast<double>(v.start_sector)},
                                    {"sector_count", static_cast<double>(v.sector_count)}});
        } else {
            out_line(QStringLiteral("%1  %2  %3  %4  %5  %6")
                         .arg(cell(v.volume_path, 40))
                         .arg(v.file_system.isEmpty() ? QStringLiteral("-") : v.file_system, -11)
                         .arg(cell(v.label.isEmpty() ? QStringLiteral("-") : v.label, 12))
                         .arg(human_size(v.total_bytes), 12)
                         .arg(v.root_path == v.device_name ? QStringLiteral("-") : human_size(v.free_bytes), 12)
                         .arg(v.root_path == v.device_name ? QStringLiteral("(not mounted)") : v.root_path));
        }
    }
    if (args.json)
        print_json(QJsonObject{{"volumes", list}});
    else if (volume_item_list.size() <= 1)
        out_line(QStringLiteral("no volumes"));
    return exit_ok;
}
