#include "recovery/fat/fat_drive_table.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

#include "disk/block_device.h"
#include "disk/drive_list.h"
#include "disk/raw_disk.h"
#include "recovery/diagnostics.h"
#include "volumes/volume_device.h"

volume_partition_s volume_partition_table[fat_max_drives];

namespace {

struct fat_drive_s {
    QString path;
    std::uint8_t status = STA_NOINIT;
    std::uint16_t sector_size = 0;
    std::uint32_t sector_count = 0;
    std::unique_ptr<block_device> handle;
};

// Lives until the process ends, so that a keep-alive thread nobody closed never finds it
// destroyed under it at exit.
struct table_s {
    QMutex lock;
    fat_drive_s drives[fat_max_drives];
    std::atomic<int> count{0};
    std::vector<std::uint8_t> sector_buffer;

    // The keep-alive thread and what wakes it early to end: watcher_lock guards closing
    // and the start and join of the thread.
    std::mutex watcher_lock;
    std::condition_variable wake;
    bool closing = false;
    std::thread watcher;
};

table_s& table()
{
    static table_s* t = new table_s;
    return *t;
}

// Whether the drive still has its medium: an image file that still exists, a block device
// that still reports a size.
bool medium_present(const QString& path)
{
    if (!is_block_device(path))
        return QFileInfo::exists(path);
    QFile f(QStringLiteral("/sys/class/block/%1/size").arg(QFileInfo(path).fileName()));
    return f.open(QIODevice::ReadOnly) && f.readAll().trimmed().toULongLong() > 0;
}

// Opens the drives of the drive list in number order, stopping at the first that cannot be
// opened. Called with the lock held.
int open_drives()
{
    table_s& t = table();
    const QList<drive_item_s> list = list_drives();
    int n = 0;
    for (; n < list.size() && n < fat_max_drives; ++n) {
        fat_drive_s& d = t.drives[n];
        d = fat_drive_s{};
        d.path = list[n].path;
        d.handle = open_block_device(d.path, device_access::read);
        if (!d.handle)
            break;
        diagnostic("Disk# %u <== %s", static_cast<unsigned>(n), d.path.toLocal8Bit().constData());
        t.count = n + 1;
        if (check_fat_drive(n) == 1)
            diagnostic(" (%uMB, %u bytes * %u sectors)\n",
                       static_cast<unsigned>(std::uint64_t{d.sector_count} * d.sector_size / 1024 / 1024),
                       static_cast<unsigned>(d.sector_size), static_cast<unsigned>(d.sector_count));
        else
            diagnostic(" (Not Ready)\n");
    }
    t.count = n;
    return n;
}

// Sleeps for a while; false when the table is being closed and the thread is to end.
bool rest(std::chrono::milliseconds time)
{
    table_s& t = table();
    std::unique_lock<std::mutex> g(t.watcher_lock);
    return !t.wake.wait_for(g, time, [&] { return t.closing; });
}

// Marks a drive not ready when its medium goes away. Drive 0 is not watched.
void watch_fat_drives()
{
    table_s& t = table();
    pthread_setname_np(pthread_self(), fat_keep_alive_name);
    while (rest(std::chrono::milliseconds(100))) {
        for (int n = 1; n < t.count.load(); ++n) {
            if (!rest(std::chrono::milliseconds(1)))
                return;
            if (!t.lock.tryLock(100))
                continue;
            fat_drive_s& d = t.drives[n];
            const bool watched = n < t.count.load() && d.handle && !(d.status & STA_NOINIT);
            if (watched && !medium_present(d.path))
                d.status |= STA_NOINIT;
            t.lock.unlock();
            if (watched && !rest(std::chrono::milliseconds(100)))
                return;
        }
    }
}

}  // namespace

int check_fat_drive(int n)
{
    table_s& t = table();
    if (n < 0 || n >= fat_max_drives || !t.drives[n].handle)
        return 0;
    fat_drive_s& d = t.drives[n];
    const std::optional<disk_geometry_s> g = raw_disk::query_geometry(d.path);
    if (!medium_present(d.path) || !g) {
        d.status = STA_NOINIT;
        return 0;
    }
    d.sector_size = static_cast<std::uint16_t>(d.handle->sector_bytes());
    if (d.sector_size != 512)
        return 0;
    d.sector_count = static_cast<std::uint32_t>(g->cylinders) * g->tracks_per_cylinder * g->sectors_per_track;
    d.status = QFileInfo(d.path).isWritable() ? 0 : STA_PROTECT;
    return 1;
}

int open_fat_drives()
{
    table_s& t = table();
    {
        QMutexLocker g(&t.lock);
        if (t.sector_buffer.empty())
            t.sector_buffer.resize(65536);
        open_drives();
    }
    const std::lock_guard<std::mutex> g(t.watcher_lock);
    if (!t.watcher.joinable()) {
        t.closing = false;
        t.watcher = std::thread(watch_fat_drives);
    }
    return t.count;
}

void close_fat_drives()
{
    table_s& t = table();
    {
        const std::lock_guard<std::mutex> g(t.watcher_lock);
        t.closing = true;
    }
    t.wake.notify_all();
    {
        // Joined outside watcher_lock, which the thread takes to rest.
        std::thread watcher;
        {
            const std::lock_guard<std::mutex> g(t.watcher_lock);
            watcher = std::move(t.watcher);
        }
        if (watcher.joinable())
            watcher.join();
    }
    QMutexLocker g(&t.lock);
    for (fat_drive_s& d : t.drives)
        d = fat_drive_s{};
    t.count = 0;
}

bool fat_drives_watched()
{
    table_s& t = table();
    const std::lock_guard<std::mutex> g(t.watcher_lock);
    return t.watcher.joinable();
}

int reopen_fat_drives()
{
    table_s& t = table();
    QMutexLocker g(&t.lock);
    if (t.sector_buffer.empty())
        t.sector_buffer.resize(65536);
    for (int n = 0; n < t.count; ++n)
        t.drives[n].handle.reset();
    return open_drives();
}

std::uint8_t disk_initialize(std::uint8_t n)
{
    table_s& t = table();
    if (!t.lock.tryLock(5000))
        return STA_NOINIT;
    std::uint8_t status = STA_NOINIT;
    if (n < t.count) {
        check_fat_drive(n);
        status = t.drives[n].status;
    }
    t.lock.unlock();
    return status;
}

disk_result disk_read(std::uint8_t n, std::uint8_t* buffer, std::uint32_t sector, std::uint8_t count)
{
    table_s& t = table();
    // The drive's state is read under the lock: a mount of another volume reopens the table,
    // and a drive seen half-way through that would fail a read that is sound.
    if (n >= fat_max_drives || !t.lock.tryLock(3000))
        return RES_NOTRDY;
    if (n >= t.count || (t.drives[n].status & STA_NOINIT)) {
        t.lock.unlock();
        return RES_NOTRDY;
    }
    fat_drive_s& d = t.drives[n];
    // A drive whose sectors are not 512 bytes is never read: the FAT module moves 512-byte
    // sectors only.
    const std::size_t bytes = std::size_t{count} * 512;
    disk_result result = RES_OK;
    if (bytes > t.sector_buffer.size() || count == 0)
        result = RES_PARERR;
    else if (!d.handle || d.sector_size != 512 ||
             d.handle->read_at(std::uint64_t{sector} * 512, t.sector_buffer.data(), bytes) !=
                 static_cast<std::int64_t>(bytes))
        result = RES_ERROR;
    else
        std::memcpy(buffer, t.sector_buffer.data(), bytes);
    t.lock.unlock();
    return result;
}

int locate_volume(const QString& volume_path, std::int32_t* partition_number, std::int32_t* disk_number,
                  std::uint32_t* start_sector)
{
    QString path = volume_path;
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    const std::optional<volume_item_s> v = find_volume(path);
    if (!v || v->start_sector > 0xFFFFFFFFull)
        return -1;  // not there, or beyond what a 32-bit sector number reaches
    *partition_number = v->partition_number;
    *disk_number = v->disk_number;
    *start_sector = static_cast<std::uint32_t>(v->start_sector);
    return 0;
}

std::optional<volume_partition_s> fat_volume_location(const volume_item_s& volume)
{
    if (volume.disk_number < 0 || volume.disk_number >= fat_max_drives || volume.start_sector > 0xFFFFFFFFull)
        return std::nullopt;
    return volume_partition_s{static_cast<std::uint8_t>(volume.disk_number),
                              static_cast<std::uint8_t>(volume.partition_number & 0xFF),
                              static_cast<std::uint32_t>(volume.start_sector)};
}

int set_fat_volume(const QString& volume_path)
{
    std::int32_t partition = 0, disk = 0;
    std::uint32_t start = 0;
    if (locate_volume(volume_path, &partition, &disk, &start) != 0)
        return -1;
    volume_partition_table[0] = {static_cast<std::uint8_t>(disk), static_cast<std::uint8_t>(partition & 0xFF), start};
    return 0;
}

int fat_drive_count()
{
    return table().count;
}

std::uint8_t fat_drive_status(int n)
{
    // Under the lock, as disk_read: a reopen of the table passes through drives not ready.
    table_s& t = table();
    if (n < 0 || n >= fat_max_drives || !t.lock.tryLock(3000))
        return STA_NOINIT;
    const std::uint8_t status = n < t.count ? t.drives[n].status : STA_NOINIT;
    t.lock.unlock();
    return status;
}
