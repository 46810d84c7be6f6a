#include "recovery/fat/fat_recovery.h"

#include <QFile>

#include <algorithm>
#include <ctime>
#include <memory>
#include <queue>
#include <unordered_set>
#include <vector>

#include "recovery/diagnostics.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/record_links.h"
#include "volumes/volume_device.h"

namespace {

// Lines of the scan, on the library's diagnostic sink.
void say(const char* text)
{
    diagnostic("%s", text);
}

QString from_wide(const char16_t* text, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && text[n] != 0)
        ++n;
    return QString::fromUtf16(text, static_cast<qsizetype>(n));
}

// Which clusters of a deleted file's run (the clusters from its first one on) are in use
// now, from the FAT read a piece at a time as the reading moves on: each entry once and in
// cluster order, so that each FAT sector is read once. In use is any entry but free: a
// chain's link or end, a bad-cluster mark, a reserved value. A cluster beyond the volume,
// or whose entry cannot be read, is not known to be in use; reading it decides.
class run_use_c {
public:
    // The run of `clusters` clusters from first on.
    run_use_c(FATFS& fs, std::uint16_t id, std::uint32_t first, std::uint64_t clusters)
        : fs_(fs), id_(id), first_(first), clusters_(clusters)
    {
    }

    // Whether cluster k of the run (0 its first) is in use.
    bool in_use(std::uint64_t k)
    {
        if (k >= clusters_)
            return false;
        if (k < piece_first_ || k >= piece_first_ + piece_.size())
            load(k);
        return piece_[k - piece_first_] != 0;
    }

private:
    static constexpr std::uint64_t piece_clusters = 4096;

    void load(std::uint64_t k)
    {
        piece_first_ = k;
        piece_.assign(std::min(piece_clusters, clusters_ - k), 0);
        const std::lock_guard<std::mutex> g(fs_.lock);
        if (validate_object(&fs_, id_) != FR_OK)
            return;
        for (std::uint64_t i = 0; i < piece_.size(); ++i) {
            const std::uint64_t cluster = first_ + k + i;
            if (cluster >= fs_.n_fatent)
                break;
            const std::uint32_t value = get_fat(&fs_, static_cast<std::uint32_t>(cluster));
            piece_[i] = is_in_use(value) ? 1 : 0;
        }
    }

    FATFS& fs_;
    std::uint16_t id_;
    std::uint64_t first_;
    std::uint64_t clusters_;
    std::uint64_t piece_first_ = 0;
    std::vector<std::uint8_t> piece_;
};

}  // namespace

fat_recovery_c::~fat_recovery_c()
{
    set_stop(stop_discard);
    wait();
}

void fat_recovery_c::reset()
{
    reset_state();
    entry_table.clear();
}

std::int64_t fat_recovery_c::fat_time(std::uint16_t date, std::uint16_t time)
{
    std::tm t{};
    t.tm_year = 80 + (date >> 9);
    t.tm_mon = ((date >> 5) & 15) - 1;
    t.tm_mday = date & 31;
    t.tm_hour = time >> 11;
    t.tm_min = (time >> 5) & 63;
    t.tm_sec = (time & 31) * 2;
    t.tm_isdst = 0;
    const std::time_t seconds = std::mktime(&t);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(seconds);
}

void fat_recovery_c::run()
{
    reset();
    {
        const std::lock_guard<std::mutex> g(volume_fs_.lock);
        volume_fs_.where = fat_volume_location(volume_);
    }
    if (volume_fs_.where) {
        f_mount(0, &volume_fs_);
        say("Start Fat Scan.\n");
        walk_folder(true, 0, false);
        find_lost_folders();
        mark_reused_clusters();
    }
    fat_entry_s root;
    root.attributes = fat_attr_folder;
    entry_table[0] = root;
    link_children();
    mark_content();
}

// Stores a record under its first cluster, or decides between it and the record already
// there. Returns true when the cluster was new.
bool fat_recovery_c::record(fat_entry_s n)
{
    const auto [it, added] = entry_table.try_emplace(n.cluster, n);
    if (added) {
        ++found_count_;
        return true;
    }
    fat_entry_s& e = it->second;
    const bool n_folder = n.attributes & fat_attr_folder;
    const bool n_deleted = n.attributes & fat_attr_deleted;
    const bool e_live_folder = (e.attributes & fat_attr_folder) && !(e.attributes & fat_attr_deleted);
    if (!e.in_deleted_folder && n.in_deleted_folder)
        return false;
    if (n_folder && !n_deleted) {
        e = n;
        return false;
    }
    if (n_folder && n_deleted && e_live_folder)
        return false;
    if (n_deleted && n.created > e.created)
        e = n;
    return false;
}

// Depth first from a folder, each level with a directory object of its own. The levels are
// kept on an explicit stack so that a volume with very deeply nested folders cannot exhaust
// the thread's stack.
void fat_recovery_c::walk_folder(bool from_root, std::uint32_t cluster, bool in_deleted)
{
    struct level_s {
        DIR dir;
        std::uint32_t cluster;
        bool in_deleted;
    };
    std::vector<level_s> stack;
    static char16_t long_name[fat_lfn_chars];

    const auto open = [&](bool root, std::uint32_t c, bool d) {
        level_s level{};
        level.cluster = c;
        level.in_deleted = d;
        if (f_opendir(&level.dir, "/") != FR_OK) {
            say(root ? "f_opendir failed 1.\n" : "f_opendir failed 2.\n");
            return;
        }
        if (!root) {
            level.dir.sclust = c;
            level.dir.clust = c;
            // A deleted folder's chain was freed with it: its directory goes on in the
            // clusters that follow its first one.
            level.dir.contiguous = d ? 1 : 0;
            if (f_readdir(&level.dir, nullptr) != FR_OK)
                return;
        }
        stack.push_back(level);
    };

    open(from_root, cluster, in_deleted);
    while (!stack.empty()) {
        if (!may_go_on())
            return;
        level_s& level = stack.back();
        const double x = static_cast<double>(read_count_.load()) / 2000.0;
        const std::int64_t count = ++read_count_;
        diagnostic("file count:%d\n", static_cast<int>(count));
        progress_ = x <= 1.0 ? x : 0.99;

        FILINFO info{};
        info.lfname = long_name;
        info.lfsize = fat_lfn_chars;
        long_name[0] = 0;
        if (f_readdir(&level.dir, &info) != FR_OK) {
            say("f_readdir failed 1.\n");
            stack.pop_back();
            continue;
        }
        if (info.fname[0] == 0) {
            stack.pop_back();
            continue;
        }
        if (info.fclust == 0 || info.fname[0] == u'.' || !(info.fattrib & (fat_attr_folder | fat_attr_deleted)))
            continue;

        fat_entry_s n;
        n.cluster = info.fclust;
        n.parent = level.cluster;
        n.size = info.fsize;
        n.in_deleted_folder = level.in_deleted ? 1 : 0;
        n.attributes = info.fattrib | (level.in_deleted ? fat_attr_deleted : 0);
        n.modified = fat_time(info.fdate, info.ftime);
        n.created = fat_time(info.crdate, info.crtime);
        const QString long_text = from_wide(long_name, fat_lfn_chars);
        n.name = (long_text.isEmpty() ? from_wide(info.fname, 13) : long_text).left(259);
        // A deleted entry's long name is given only when its parts checked out against
        // the entry, and then it is whole; other deleted names lost their first character.
        const bool whole_deleted_name = (info.fattrib & fat_attr_deleted) && !long_text.isEmpty();
        if ((n.attributes & fat_attr_deleted) && !n.name.isEmpty() && !whole_deleted_name)
            n.name[0] = QLatin1Char('#');

        const bool is_new = record(n);
        if ((n.attributes & fat_attr_folder) && is_new)
            open(false, n.cluster, level.in_deleted || (n.attributes & fat_attr_deleted));
    }
}

// Folders whose entry is gone (its slot reused, or their parent folder's clusters reused)
// still begin with "." and "..": every free cluster that does so and that no folder of the
// walk reached is walked as a deleted folder below "(lost folders)". One inside another
// lost folder is walked from there when that folder still names it. Each cluster becomes a
// record once, so folders that name each other are walked once.
void fat_recovery_c::find_lost_folders()
{
    std::vector<directory_start_s> starts;
    std::uint16_t id = 0;
    {
        const std::lock_guard<std::mutex> g(volume_fs_.lock);
        id = volume_fs_.id;
    }
    if (find_directory_starts(&volume_fs_, id, starts, [this] { return may_go_on(); }) != FR_OK)
        return;
    const auto reached = [this](std::uint32_t cluster) {
        const auto it = entry_table.find(cluster);
        return it != entry_table.end() && (it->second.attributes & fat_attr_folder);
    };
    std::unordered_set<std::uint32_t> lost;
    for (const directory_start_s& s : starts)
        if (!reached(s.cluster))
            lost.insert(s.cluster);
    for (const bool nested_too : {false, true}) {
        for (const directory_start_s& s : starts) {
            if (!lost.count(s.cluster) || reached(s.cluster) ||
                (!nested_too && s.parent != s.cluster && lost.count(s.parent)))
                continue;
            if (!may_go_on())
                return;
            fat_entry_s folder;
            folder.cluster = fat_lost_folders_key;
            folder.attributes = fat_attr_folder;
            folder.name = QStringLiteral("(lost folders)");
            entry_table.try_emplace(fat_lost_folders_key, folder);

            fat_entry_s n;
            n.cluster = s.cluster;
            n.parent = fat_lost_folders_key;
            n.attributes = fat_attr_folder | fat_attr_deleted;
            n.modified = fat_time(s.fdate, s.ftime);
            n.created = fat_time(s.crdate, s.crtime);
            n.name = QStringLiteral("cluster %1").arg(s.cluster);
            if (record(n))
                walk_folder(false, s.cluster, true);
        }
    }
}

// Deleting a file frees its chain in the FAT, and the file is read back from the clusters
// that follow its first one. A first cluster that is in a chain again was given to a file or
// folder written since, so reading from it would bring back that file's bytes under the
// deleted name: the file is marked overwritten. Of any other deleted file, the clusters of
// its run that are in use again are counted, since they will be written as zeros. Both come
// from one pass over the FAT in cluster order, each entry read once however many runs hold
// it, so that each FAT sector is read once: a file's count is the number of clusters in use
// met from its first cluster up to its run's end.
void fat_recovery_c::mark_reused_clusters()
{
    std::vector<fat_entry_s*> files;
    for (auto& [cluster, entry] : entry_table)
        if (!(entry.attributes & fat_attr_folder) && (entry.attributes & fat_attr_deleted) && cluster >= 2)
            files.push_back(&entry);
    std::sort(files.begin(), files.end(),
              [](const fat_entry_s* a, const fat_entry_s* b) { return a->cluster < b->cluster; });
    const std::lock_guard<std::mutex> g(volume_fs_.lock);
    if (validate_object(&volume_fs_, volume_fs_.id) != FR_OK)
        return;
    const std::uint64_t cluster_bytes = std::uint64_t{volume_fs_.csize} * fat_sector_bytes;
    if (cluster_bytes == 0)
        return;
    // The runs being counted, by their end (one past their last cluster on the volume), with
    // the count of clusters in use met before each one began.
    struct open_run_s {
        std::uint64_t end;
        std::uint64_t met_before;
        fat_entry_s* file;
        bool operator>(const open_run_s& o) const { return end > o.end; }
    };
    std::priority_queue<open_run_s, std::vector<open_run_s>, std::greater<>> open;
    std::uint64_t met = 0;  // clusters in use met so far
    std::uint64_t cluster = 0;
    std::size_t next = 0;
    for (;;) {
        while (!open.empty() && open.top().end <= cluster) {
            open.top().file->in_use_clusters = static_cast<std::uint32_t>(met - open.top().met_before);
            open.pop();
        }
        if (open.empty()) {
            if (next == files.size())
                break;
            // No run holds the clusters up to the next file's first one: they are not read.
            cluster = files[next]->cluster;
        }
        const std::uint32_t value = get_fat(&volume_fs_, static_cast<std::uint32_t>(cluster));
        for (; next < files.size() && files[next]->cluster == cluster; ++next) {
            fat_entry_s& file = *files[next];
            file.overwritten = is_in_chain(&volume_fs_, value) ? 1 : 0;
            file.clusters = static_cast<std::uint32_t>((std::uint64_t{file.size} + cluster_bytes - 1) / cluster_bytes);
            // Clusters beyond the volume are not known to be in use: reading them decides.
            const std::uint64_t end = std::min<std::uint64_t>(cluster + file.clusters, volume_fs_.n_fatent);
            if (!file.overwritten && end > cluster)
                open.push({end, met, &file});
        }
        if (!open.empty() && is_in_use(value))
            ++met;
        ++cluster;
    }
}

void fat_recovery_c::link_children()
{
    link_records(
        entry_table, [](const fat_entry_s& e) { return e.parent; },
        [](const fat_entry_s& e) { return e.cluster == 0 && e.parent == 0; });
}

void fat_recovery_c::mark_content()
{
    mark_records(
        entry_table, [](const fat_entry_s& e) { return e.parent; },
        [](const fat_entry_s& e) { return !(e.attributes & fat_attr_folder); });
}

std::int32_t fat_recovery_c::recover_item(std::uint64_t id, QString path)
{
    recover_report_s report;
    return recover_item_reported(id, path, report);
}

bool fat_recovery_c::volume_holds(std::uint32_t sector) const
{
    const std::unique_ptr<block_device> device = open_volume(volume_);
    if (!device || sector < volume_.start_sector)
        return true;
    char probe[fat_sector_bytes];
    const std::int64_t got = device->read_at((sector - volume_.start_sector) * fat_sector_bytes, probe, sizeof probe);
    return got < 0 || got == static_cast<std::int64_t>(sizeof probe);
}

std::int32_t fat_recovery_c::recover_item_reported(std::uint64_t id, const QString& path, recover_report_s& report)
{
    const auto it = entry_table.find(static_cast<std::uint32_t>(id));
    if (it == entry_table.end())
        return recover_failed;
    const fat_entry_s& entry = it->second;
    FIL file{};
    file.fs = &volume_fs_;
    {
        const std::lock_guard<std::mutex> g(volume_fs_.lock);
        file.id = volume_fs_.id;
    }
    file.flag = FA_READ;
    file.fptr = 0;
    file.fsize = entry.size;
    file.org_clust = entry.cluster;

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return recover_failed;
    // Whatever stops the read before the file's size (a cluster beyond the volume, the end
    // of a volume shorter than its file system) makes the file a failure, not a shorter
    // file. A sector that cannot be read becomes zeros, and the file is partial.
    const bool contiguous = entry.attributes & fat_attr_deleted;
    // A deleted file's clusters that belong to other files now hold their bytes, not this
    // file's: they become zeros, and the file is partial. A file marked overwritten is read
    // as it lies, since it is written only when the user asks for exactly that.
    const bool zero_in_use = contiguous && !entry.overwritten;
    const std::uint32_t cluster_bytes = std::uint32_t{volume_fs_.csize} * fat_sector_bytes;
    const std::uint64_t clusters =
        cluster_bytes == 0 ? 0 : (std::uint64_t{file.fsize} + cluster_bytes - 1) / cluster_bytes;
    run_use_c use(volume_fs_, file.id, entry.cluster, clusters);
    std::uint64_t stretch_end = 0;  // the run's clusters up to here are known to be ...
    bool stretch_in_use = false;    // ... in use, or not, from the position's cluster on
    std::vector<std::uint8_t> buf(4096);
    std::int32_t result = recover_written;
    const auto put = [&](std::uint32_t n) {
        if (out.write(reinterpret_cast<const char*>(buf.data()), n) != static_cast<qint64>(n))
            return false;
        report.count(n);
        return true;
    };
    while (file.fptr < file.fsize && result == recover_written) {
        std::uint32_t want = static_cast<std::uint32_t>(buf.size());
        if (zero_in_use && cluster_bytes != 0) {
            const std::uint64_t k = file.fptr / cluster_bytes;
            if (k >= stretch_end) {
                stretch_in_use = use.in_use(k);
                stretch_end = k + 1;
                while (stretch_end < clusters && use.in_use(stretch_end) == stretch_in_use)
                    ++stretch_end;
            }
            const std::uint64_t until = std::min<std::uint64_t>(stretch_end * cluster_bytes, file.fsize);
            want = static_cast<std::uint32_t>(std::min<std::uint64_t>(want, until - file.fptr));
            if (stretch_in_use) {
                const std::uint32_t at = file.fptr;
                std::fill(buf.begin(), buf.begin() + want, 0);
                if (!put(want)) {
                    result = recover_write_error;
                    break;
                }
                report.add_in_use(at, at + want);
                file.fptr += want;
                // The next read goes on in the cluster after the last one passed over.
                file.curr_clust = static_cast<std::uint32_t>(entry.cluster + (file.fptr - 1) / cluster_bytes);
                continue;
            }
        }
        std::uint32_t got = 0;
        FRESULT r = f_read(&file, buf.data(), want, &got, contiguous);
        if (r == FR_DISK_ERR && contiguous) {
            // Sectors are read many at a time: the one at the position is tried alone.
            // The failed read may have moved on to the next cluster already: the clusters
            // follow one another, so the current one is set from the position.
            const std::uint32_t at = file.fptr;
            const std::uint32_t cluster = entry.cluster + at / cluster_bytes;
            file.flag &= static_cast<std::uint8_t>(~FA_ERROR);
            file.curr_clust = at % cluster_bytes == 0 ? cluster - 1 : cluster;
            const std::uint32_t piece = std::min(fat_sector_bytes, file.fsize - at);
            r = f_read(&file, buf.data(), piece, &got, contiguous);
            if (r == FR_DISK_ERR) {
                file.flag &= static_cast<std::uint8_t>(~FA_ERROR);
                file.curr_clust = cluster;
                const std::uint32_t sector = clust2sect(&volume_fs_, cluster) + (at % cluster_bytes) / fat_sector_bytes;
                if (!volume_holds(sector)) {
                    result = recover_truncated;
                    report.reason = QStringLiteral("the volume ends before the file does (at byte %1 of its %2)")
                                        .arg(at)
                                        .arg(file.fsize);
                    break;
                }
                std::fill(buf.begin(), buf.begin() + piece, 0);
                report.add_unreadable(at, at + piece);
                file.fptr += piece;
                got = piece;
                r = FR_OK;
            }
        }
        if (got > 0 && !put(got)) {
            result = recover_write_error;
            break;
        }
        if (r != FR_OK || got == 0)
            result = r == FR_OK || r == FR_INT_ERR || r == FR_DISK_ERR ? recover_read_error : recover_failed;
    }
    if (!out.flush() && result == recover_written)
        result = recover_write_error;
    out.close();
    if (result < 0) {
        out.remove();
        return result;
    }
    return report.unreadable.empty() && report.in_use.empty() ? recover_written : recover_partial;
}

std::int32_t fat_recovery_c::get_item_path(std::uint64_t id, QString& out)
{
    return record_path(
        entry_table, static_cast<std::uint32_t>(id), [](const fat_entry_s& e) { return e.parent; },
        [](std::uint32_t parent) { return parent == 0; }, [](const fat_entry_s& e) { return e.name; },
        volume_.root_path, out);
}
