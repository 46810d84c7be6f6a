#include "volumes/linux_volume_platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libmount/libmount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "disk/block_device.h"
#include "disk/drive_list.h"

namespace {

struct probe_deleter {
    void operator()(blkid_probe p) const { blkid_free_probe(p); }
};
using probe_ptr = std::unique_ptr<std::remove_pointer_t<blkid_probe>, probe_deleter>;

struct fd_closer {
    int fd;
    ~fd_closer()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QString lookup_value(blkid_probe pr, const char* name)
{
    const char* data = nullptr;
    std::size_t len = 0;
    if (blkid_probe_lookup_value(pr, name, &data, &len) != 0 || !data)
        return {};
    return QString::fromUtf8(data);
}

// File-system names as the rest of the program knows them.
QString file_system_name(const QString& type, const QString& version)
{
    if (type == QLatin1String("ntfs"))
        return QStringLiteral("NTFS");
    if (type == QLatin1String("vfat") || type == QLatin1String("msdos"))
        return version.startsWith(QLatin1String("FAT")) ? version : QStringLiteral("FAT");
    if (type == QLatin1String("exfat"))
        return QStringLiteral("exFAT");
    return type.toUpper();
}

std::uint64_t sysfs_number(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().trimmed().toULongLong();
}

// The partition device of a block device's partition number, from sysfs (/dev/sdb1,
// /dev/nvme0n1p1, ...).
QString partition_device(const QString& drive_path, std::int32_t number)
{
    const QString disk = QFileInfo(drive_path).fileName();
    const QDir dir(QStringLiteral("/sys/class/block/%1").arg(disk));
    for (const QString& child : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!child.startsWith(disk))
            continue;
        const QString part = dir.filePath(child + QStringLiteral("/partition"));
        if (QFileInfo::exists(part) && sysfs_number(part) == static_cast<std::uint64_t>(number))
            return QStringLiteral("/dev/") + child;
    }
    return {};
}

// Mount targets by device number, in mountinfo order.
std::map<dev_t, QStringList> read_mounts()
{
    std::map<dev_t, QStringList> mounts;
    libmnt_table* table = mnt_new_table_from_file("/proc/self/mountinfo");
    if (!table)
        return mounts;
    libmnt_iter* it = mnt_new_iter(MNT_ITER_FORWARD);
    libmnt_fs* fs = nullptr;
    while (it && mnt_table_next_fs(table, it, &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        if (target && mnt_fs_get_devno(fs) != 0)
            mounts[mnt_fs_get_devno(fs)] << QString::fromUtf8(target);
    }
    mnt_free_iter(it);
    mnt_unref_table(table);
    return mounts;
}

}  // namespace

std::vector<partition_extent_s> read_partition_table(const QString& drive_path, std::uint64_t drive_bytes)
{
    std::vector<partition_extent_s> parts;
    const QByteArray native = QFile::encodeName(drive_path);
    probe_ptr pr(blkid_new_probe_from_filename(native.constData()));
    if (pr) {
        blkid_probe_enable_superblocks(pr.get(), 0);
        blkid_probe_enable_partitions(pr.get(), 1);
        if (blkid_do_fullprobe(pr.get()) == 0) {
            if (blkid_partlist list = blkid_probe_get_partitions(pr.get())) {
                const int n = blkid_partlist_numof_partitions(list);
                for (int i = 0; i < n; ++i) {
                    blkid_partition par = blkid_partlist_get_partition(list, i);
                    if (!par || blkid_partition_is_extended(par))
                        continue;
                    const std::int64_t start = blkid_partition_get_start(par);
                    const std::int64_t size = blkid_partition_get_size(par);
                    // A damaged table may point past the drive: such an entry holds nothing
                    // to read, and one that runs past the end is cut at the end.
                    const std::uint64_t drive_sectors = drive_bytes / 512;
                    if (start < 0 || size <= 0 || static_cast<std::uint64_t>(start) >= drive_sectors)
                        continue;
                    const std::uint64_t count =
                        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), drive_sectors - start);
                    parts.push_back({blkid_partition_get_partno(par), static_cast<std::uint64_t>(start), count});
                }
                if (!parts.empty() || n > 0)
                    return parts;
            }
        }
    }
    parts.push_back({0, 0, drive_bytes / 512});
    return parts;
}

volume_facts_s probe_file_system(const QString& drive_path, std::uint64_t offset, std::uint64_t bytes)
{
    volume_facts_s facts;
    const int fd = ::open(QFile::encodeName(drive_path).constData(), O_RDONLY | O_CLOEXEC);
    const fd_closer closer{fd};
    probe_ptr pr(blkid_new_probe());
    if (fd < 0 || !pr ||
        blkid_probe_set_device(pr.get(), fd, static_cast<blkid_loff_t>(offset), static_cast<blkid_loff_t>(bytes)) != 0)
        return facts;
    blkid_probe_enable_superblocks(pr.get(), 1);
    blkid_probe_set_superblocks_flags(pr.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(pr.get(), 0);
    if (blkid_do_safeprobe(pr.get()) != 0)
        return facts;
    facts.file_system = file_system_name(lookup_value(pr.get(), "TYPE"), lookup_value(pr.get(), "VERSION"));
    facts.label = lookup_value(pr.get(), "LABEL");
    return facts;
}

bool linux_volume_platform::begin_walk()
{
    volumes_.clear();
    next_ = 0;
    const std::map<dev_t, QStringList> mounts = read_mounts();
    const QList<drive_item_s> drives = list_drives();
    for (qsizetype n = 0; n < drives.size(); ++n) {
        const QString drive = drives[n].path;
        const bool block = is_block_device(drive);
        const QString name = QFileInfo(drive).fileName();
        std::uint64_t drive_bytes = 0;
        if (block) {
            drive_bytes = sysfs_number(QStringLiteral("/sys/class/block/%1/size").arg(name)) * 512;
        } else {
            drive_bytes = static_cast<std::uint64_t>(QFileInfo(drive).size());
        }
        const std::uint32_t type =
            !block || sysfs_number(QStringLiteral("/sys/block/%1/removable").arg(name)) == 1 ? 2 : 3;

        for (const partition_extent_s& part : read_partition_table(drive, drive_bytes)) {
            volume_s v;
            v.drive_path = drive;
            v.disk_number = static_cast<std::int32_t>(n);
            v.partition_number = part.number;
            v.start_sector = part.start_sector;
            v.sector_count = part.sector_count;
            v.drive_type = type;
            if (block)
                v.volume_path = part.number == 0 ? drive : partition_device(drive, part.number);
            else
                v.volume_path = QStringLiteral("%1@p%2").arg(drive).arg(part.number);
            if (v.volume_path.isEmpty())
                continue;  // the kernel has not made a device for this partition
            v.facts = probe_file_system(drive, part.start_sector * 512, part.sector_count * 512);
            v.total_bytes = part.sector_count * 512;
            struct stat st {};
            if (block && ::stat(QFile::encodeName(v.volume_path).constData(), &st) == 0) {
                const auto m = mounts.find(st.st_rdev);
                if (m != mounts.end())
                    v.mounts = m->second;
            }
            struct statvfs vfs {};
            if (!v.mounts.isEmpty() && ::statvfs(QFile::encodeName(v.mounts.first()).constData(), &vfs) == 0) {
                v.total_bytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
                v.free_bytes = static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
            }
            volumes_.push_back(v);
        }
    }
    return true;
}

std::optional<QString> linux_volume_platform::next_volume()
{
    if (next_ >= volumes_.size())
        return std::nullopt;
    return volumes_[next_++].volume_path;
}

void linux_volume_platform::end_walk()
{
    next_ = volumes_.size();
}

const linux_volume_platform::volume_s* linux_volume_platform::by_path(const QString& volume_path) const
{
    for (const volume_s& v : volumes_)
        if (v.volume_path == volume_path)
            return &v;
    return nullptr;
}

const linux_volume_platform::volume_s* linux_volume_platform::by_root(const QString& root) const
{
    for (const volume_s& v : volumes_)
        if ((!v.mounts.isEmpty() && v.mounts.first() == root) || v.volume_path == root)
            return &v;
    return nullptr;
}

std::optional<QString> linux_volume_platform::device_name(const QString& volume_path)
{
    return by_path(volume_path) ? std::optional<QString>(volume_path) : std::nullopt;
}

std::optional<QStringList> linux_volume_platform::mount_paths(const QString& volume_path)
{
    const volume_s* v = by_path(volume_path);
    return v ? std::optional<QStringList>(v->mounts) : std::nullopt;
}

std::uint32_t linux_volume_platform::drive_type(const QString& root)
{
    const volume_s* v = by_root(root);
    return v ? v->drive_type : 0;
}

std::optional<volume_facts_s> linux_volume_platform::volume_information(const QString& root)
{
    const volume_s* v = by_root(root);
    return v ? std::optional<volume_facts_s>(v->facts) : std::nullopt;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> linux_volume_platform::space(const QString& root)
{
    const volume_s* v = by_root(root);
    if (!v)
        return std::nullopt;
    return std::make_pair(v->total_bytes, v->free_bytes);
}

std::optional<std::int32_t> linux_volume_platform::partition_number(const QString& volume_path)
{
    const volume_s* v = by_path(volume_path);
    return v ? std::optional<std::int32_t>(v->partition_number) : std::nullopt;
}

std::optional<std::int32_t> linux_volume_platform::disk_number(const QString& volume_path)
{
    const volume_s* v = by_path(volume_path);
    return v ? std::optional<std::int32_t>(v->disk_number) : std::nullopt;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> linux_volume_platform::extent(const QString& volume_path)
{
    const volume_s* v = by_path(volume_path);
    if (!v)
        return std::nullopt;
    return std::make_pair(v->start_sector, v->sector_count);
}

bool linux_volume_platform::is_admin()
{
    return ::geteuid() == 0;
}
