#include "disk/drive_list.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <atomic>

#include "disk/partition_item.h"
#include "disk/raw_disk.h"

QList<drive_item_s> drive_list;

namespace {
std::atomic<bool> machine_disks_hidden{false};

QStringList& image_paths()
{
    static QStringList paths;
    return paths;
}
}  // namespace

void set_drive_images(const QStringList& paths)
{
    QStringList abs;
    for (const QString& p : paths)
        abs << QFileInfo(p).absoluteFilePath();
    image_paths() = abs;
}

QStringList drive_images()
{
    return image_paths();
}

std::optional<drive_item_s> make_drive_item(const QString& path, QString* error)
{
    std::optional<disk_geometry_s> g = raw_disk::query_geometry(path, error);
    if (!g)
        return std::nullopt;
    drive_item_s item;
    item.path = path;
    // The whole device: a partition in the last, partial cylinder must be found too. The
    // geometry serves the CHS fields of a partition table only.
    item.size = raw_disk::query_size(path).value_or(g->size());
    item.geometry = g;
    return item;
}

void hide_machine_disks(bool hide)
{
    machine_disks_hidden = hide;
}

QStringList block_device_paths()
{
    if (machine_disks_hidden || qEnvironmentVariable("VANTREL_IMAGES_ONLY") == QLatin1String("1"))
        return {};
    // Whole disks only: no RAM disks, device-mapper or RAID nodes, optical or floppy drives,
    // and loop devices only while something is attached to them.
    static const QRegularExpression disk_name(
        QStringLiteral("^(sd[a-z]+|nvme\\d+n\\d+|vd[a-z]+|hd[a-z]+|xvd[a-z]+|mmcblk\\d+|loop\\d+)$"));
    QStringList paths;
    const QDir sys(QStringLiteral("/sys/block"));
    for (const QString& name : sys.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        if (!disk_name.match(name).hasMatch())
            continue;
        if (name.startsWith(QLatin1String("loop")) && !QFileInfo::exists(sys.filePath(name + "/loop/backing_file")))
            continue;
        paths << QStringLiteral("/dev/") + name;
    }
    return paths;
}

QList<drive_item_s> list_drives()
{
    QList<drive_item_s> drives;
    for (const QString& path : image_paths() + block_device_paths()) {
        if (drives.size() >= max_drives)
            break;
        std::optional<drive_item_s> item = make_drive_item(path);
        if (!item)
            break;
        drives.append(*item);
    }
    return drives;
}

int enumerate_drives()
{
    drive_list.clear();
    drive_list.append(drive_item_s{});
    drive_list.append(list_drives());
    return 0;
}

void register_drive_meta_types()
{
    qRegisterMetaType<drive_item_s>("drive_item_s");
    qRegisterMetaType<partition_item_s>("partition_item_s");
}
