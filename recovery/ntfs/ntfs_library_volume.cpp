#include "recovery/ntfs/ntfs_library_volume.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "recovery/ntfs/ntfs_library.h"

namespace {

// TSK reads an external image through callbacks that receive the TSK_IMG_INFO they were
// registered with; it comes first here, so the callbacks find the device behind it.
//
// read_failed records every failed read. TSK retries a failed read of a length that is not
// a whole number of sectors and then reports the bytes as read (zeros) even when the retry
// fails too, so its results alone cannot tell a read error from data. A read that fails is
// therefore narrowed down here, sector by sector: the sectors that cannot be read are handed
// to TSK as zeros and noted in bad (device offsets), so that a file's writer can tell which
// of its bytes they are, whichever read of TSK's (through its cache or not) touched them.
// past_end records a read that came back short: the device (a partition of an image that
// was cut short) holds less than it claims.
struct external_image_s {
    TSK_IMG_INFO info;
    block_device* device;
    std::vector<byte_range_s>* bad;
    bool read_failed;
    bool past_end;
};
static_assert(std::is_trivial_v<external_image_s>, "allocated with calloc and released with free");

void note_bad(std::vector<byte_range_s>& bad, std::uint64_t first, std::uint64_t last)
{
    for (const byte_range_s& b : bad)
        if (b.first <= first && last <= b.last)
            return;
    bad.push_back({first, last});
}

ssize_t read_image(TSK_IMG_INFO* img, TSK_OFF_T off, char* buf, size_t len)
{
    auto* image = reinterpret_cast<external_image_s*>(img);
    if (off < 0) {
        image->read_failed = true;
        tsk_error_reset();
        tsk_error_set_errno(TSK_ERR_IMG_READ);
        return -1;
    }
    const auto at = static_cast<std::uint64_t>(off);
    std::int64_t got = image->device->read_at(at, buf, len);
    if (got < 0) {
        image->read_failed = true;
        constexpr std::uint64_t sector = 512;
        std::size_t done = 0;
        while (done < len) {
            const std::uint64_t here = at + done;
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(len - done, sector - here % sector));
            const std::int64_t r = image->device->read_at(here, buf + done, piece);
            if (r < 0) {
                std::memset(buf + done, 0, piece);
                note_bad(*image->bad, here, here + piece);
                done += piece;
                continue;
            }
            done += static_cast<std::size_t>(r);
            if (static_cast<std::size_t>(r) < piece)
                break;
        }
        got = static_cast<std::int64_t>(done);
    }
    if (static_cast<std::uint64_t>(got) < len)
        image->past_end = true;
    return static_cast<ssize_t>(got);
}

void close_image(TSK_IMG_INFO* img)
{
    std::free(reinterpret_cast<external_image_s*>(img));
}

void image_stat(TSK_IMG_INFO*, FILE*) {}

struct file_closer {
    void operator()(TSK_FS_FILE* f) const { tsk_fs_file_close(f); }
};
using file_ptr = std::unique_ptr<TSK_FS_FILE, file_closer>;

constexpr std::size_t copy_chunk = 1 << 20;

// How much larger than the volume a sparse or compressed file may be.
constexpr std::uint64_t max_sparse_ratio = 16;

// An attribute's type as a number: TSK's enum does not name every type that a record may
// hold, and loading such a value as the enum would be undefined.
std::uint32_t attribute_type(const TSK_FS_ATTR* a)
{
    std::underlying_type_t<TSK_FS_ATTR_TYPE_ENUM> type;
    std::memcpy(&type, &a->type, sizeof type);
    return static_cast<std::uint32_t>(type);
}

// The unnamed $DATA stream, which is a file's content; named streams are alternate data.
const TSK_FS_ATTR* default_data(TSK_FS_FILE* file)
{
    const int count = tsk_fs_file_attr_getsize(file);
    for (int i = 0; i < count; ++i) {
        const TSK_FS_ATTR* a = tsk_fs_file_attr_get_idx(file, i);
        if (a && attribute_type(a) == TSK_FS_ATTR_TYPE_NTFS_DATA && (!a->name || a->name[0] == '\0') &&
            (a->flags & TSK_FS_ATTR_INUSE) && a->size >= 0)
            return a;
    }
    return nullptr;
}

// Whether TSK can give the attribute's whole content as it is stored. TSK fills the gaps of
// a runlist it could not read whole with zeros (FILLER runs); and a data size beyond what
// the volume can hold comes from a damaged record and would have the copy write zeros for
// ever. Sparse and compressed data may be larger than their clusters, up to a bound.
bool data_is_complete(const TSK_FS_ATTR* a, std::uint64_t volume_bytes)
{
    if (a->flags & TSK_FS_ATTR_RES)
        return true;
    for (const TSK_FS_ATTR_RUN* run = a->nrd.run; run; run = run->next)
        if (run->flags & TSK_FS_ATTR_RUN_FLAG_FILLER)
            return false;
    const std::uint64_t size = static_cast<std::uint64_t>(a->size);
    const bool sparse = a->flags & (TSK_FS_ATTR_SPARSE | TSK_FS_ATTR_COMP);
    return size <= (sparse ? max_sparse_ratio * volume_bytes : volume_bytes);
}

// The ranges of the attribute's content (offsets in the file, below size) that lie on the
// device ranges bad, in file order and joined where they touch.
std::vector<byte_range_s> file_ranges_on(const TSK_FS_ATTR* a, std::uint32_t block_size,
                                         const std::vector<byte_range_s>& bad, std::uint64_t size)
{
    std::vector<byte_range_s> found;
    if (a->flags & TSK_FS_ATTR_RES)
        return found;
    for (const TSK_FS_ATTR_RUN* run = a->nrd.run; run; run = run->next) {
        if (run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER))
            continue;
        const std::uint64_t device_first = static_cast<std::uint64_t>(run->addr) * block_size;
        const std::uint64_t device_last = device_first + static_cast<std::uint64_t>(run->len) * block_size;
        const std::uint64_t file_first = static_cast<std::uint64_t>(run->offset) * block_size;
        for (const byte_range_s& b : bad) {
            const std::uint64_t lo = std::max(b.first, device_first), hi = std::min(b.last, device_last);
            const std::uint64_t first = file_first + (lo - device_first), last = file_first + (hi - device_first);
            if (lo < hi && first < size)
                found.push_back({first, std::min(last, size)});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const byte_range_s& x, const byte_range_s& y) { return x.first < y.first; });
    std::vector<byte_range_s> joined;
    for (const byte_range_s& r : found)
        if (!joined.empty() && joined.back().last >= r.first)
            joined.back().last = std::max(joined.back().last, r.last);
        else
            joined.push_back(r);
    return joined;
}

// Where the attribute's stored data ends on the volume, in bytes: the end of its last
// cluster that holds data (sparse and filler runs hold none). 0 for resident data.
std::uint64_t data_end(const TSK_FS_ATTR* a, std::uint32_t block_size)
{
    std::uint64_t end = 0;
    if (a->flags & TSK_FS_ATTR_RES)
        return 0;
    for (const TSK_FS_ATTR_RUN* run = a->nrd.run; run; run = run->next)
        if (!(run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER)) && run->len > 0)
            end = std::max<std::uint64_t>(end, (static_cast<std::uint64_t>(run->addr) + run->len) * block_size);
    return end;
}

std::vector<ntfs_file_name_s> file_names(TSK_FS_FILE* file)
{
    std::vector<ntfs_file_name_s> names;
    const int count = tsk_fs_file_attr_getsize(file);
    for (int i = 0; i < count; ++i) {
        const TSK_FS_ATTR* a = tsk_fs_file_attr_get_idx(file, i);
        // $FILE_NAME is always resident; TSK keeps its content in rd.buf.
        if (!a || attribute_type(a) != TSK_FS_ATTR_TYPE_NTFS_FNAME || !(a->flags & TSK_FS_ATTR_RES) || !a->rd.buf ||
            a->size <= 0)
            continue;
        const std::size_t bytes = std::min(static_cast<std::size_t>(a->size), a->rd.buf_size);
        if (auto fn = parse_ntfs_file_name(std::span<const std::uint8_t>(a->rd.buf, bytes)))
            names.push_back(std::move(*fn));
    }
    return names;
}

}  // namespace

std::unique_ptr<ntfs_volume_c> ntfs_volume_c::open(std::unique_ptr<block_device> device, open_error* error)
{
    open_error ignored;
    open_error& why = error ? *error : ignored;
    why = open_error::unreadable;
    std::uint8_t boot[512];
    if (!device || device->read_at(0, boot, sizeof boot) != std::int64_t(sizeof boot))
        return nullptr;
    // The library opens only what the volume list calls NTFS, and needs the record size
    // for its own check of the records.
    why = open_error::not_ntfs;
    const std::optional<ntfs_boot_s> parsed = parse_ntfs_boot_sector(boot);
    if (!parsed)
        return nullptr;

    std::unique_ptr<ntfs_volume_c> volume(new ntfs_volume_c);
    volume->record_bytes_ = parsed->record_bytes;
    // The structure holds TSK's 2 MiB read cache. calloc takes it zeroed from fresh pages
    // without writing them, so an open touches only the cache entries TSK fills.
    auto* image = static_cast<external_image_s*>(std::calloc(1, sizeof(external_image_s)));
    if (!image)
        return nullptr;
    image->device = device.get();
    image->bad = &volume->bad_;
    volume->device_ = std::move(device);
    volume->image_ = tsk_img_open_external(image, static_cast<TSK_OFF_T>(volume->device_->size()), 512, read_image,
                                           close_image, image_stat);
    if (!volume->image_) {
        std::free(image);
        tsk_error_reset();
        return nullptr;
    }
    volume->fs_ = tsk_fs_open_img(volume->image_, 0, TSK_FS_TYPE_NTFS);
    if (volume->fs_)
        volume->mft_ = tsk_fs_file_open_meta(volume->fs_, nullptr, 0);
    if (volume->mft_)
        volume->mft_data_ = default_data(volume->mft_);
    if (!volume->mft_data_) {
        tsk_error_reset();
        return nullptr;
    }
    // TSK numbers a virtual folder of orphan files right after the last MFT record. The
    // volume cannot hold more records than fit in it, whatever a damaged $MFT size says.
    volume->record_count_ =
        std::min<std::uint64_t>(TSK_FS_ORPHANDIR_INUM(volume->fs_), volume->device_->size() / volume->record_bytes_);
    why = open_error::none;
    return volume;
}

ntfs_volume_c::~ntfs_volume_c()
{
    if (mft_)
        tsk_fs_file_close(mft_);
    if (fs_)
        tsk_fs_close(fs_);
    if (image_)
        tsk_img_close(image_);
}

bool ntfs_volume_c::take_read_failure()
{
    auto* image = reinterpret_cast<external_image_s*>(image_);
    const bool failed = image->read_failed;
    image->read_failed = false;
    return failed;
}

TSK_FS_FILE* ntfs_volume_c::open_record(std::uint64_t n)
{
    if (n >= record_count_)
        return nullptr;
    take_read_failure();
    std::vector<std::uint8_t> raw(record_bytes_);
    const ssize_t got = tsk_fs_attr_read(mft_data_, static_cast<TSK_OFF_T>(n * record_bytes_),
                                         reinterpret_cast<char*>(raw.data()), raw.size(), TSK_FS_FILE_READ_FLAG_NONE);
    if (got != static_cast<ssize_t>(raw.size()) || take_read_failure() || !ntfs_record_is_sound(raw) ||
        !ntfs_record_is_base(raw)) {
        tsk_error_reset();
        return nullptr;
    }
    TSK_FS_FILE* file = tsk_fs_file_open_meta(fs_, nullptr, static_cast<TSK_INUM_T>(n));
    if (!file || !file->meta || take_read_failure()) {
        if (file)
            tsk_fs_file_close(file);
        tsk_error_reset();
        return nullptr;
    }
    return file;
}

std::optional<ntfs_record_s> ntfs_volume_c::read_record(std::uint64_t n)
{
    const file_ptr file(open_record(n));
    if (!file)
        return std::nullopt;
    const std::vector<ntfs_file_name_s> names = file_names(file.get());
    const int chosen = choose_ntfs_file_name(names);
    if (chosen < 0)
        return std::nullopt;

    const TSK_FS_META* meta = file->meta;
    ntfs_record_s record;
    record.record = n;
    record.parent = names[chosen].parent;
    record.name = names[chosen].name;
    // TSK takes these two times from $STANDARD_INFORMATION.
    record.date1 = static_cast<std::int64_t>(meta->mtime);
    record.date2 = static_cast<std::int64_t>(meta->crtime);
    const bool folder = meta->type == TSK_FS_META_TYPE_DIR;
    record.flags = folder ? ntfs_flag_folder : ntfs_flag_file;
    // The record's own in-use flag: clear once the file or folder was deleted.
    if (meta->flags & TSK_FS_META_FLAG_UNALLOC)
        record.flags |= ntfs_flag_deleted;
    if (!folder) {
        if (const TSK_FS_ATTR* data = default_data(file.get()))
            record.size = static_cast<std::uint64_t>(data->size);
    }
    return record;
}

ntfs_volume_c::write_result ntfs_volume_c::write_data(std::uint64_t n, const char* path, write_report_s* report)
{
    write_report_s ignored;
    write_report_s& r = report ? *report : ignored;
    const file_ptr file(open_record(n));
    if (!file)
        return write_result::unknown_record;
    const TSK_FS_ATTR* data = default_data(file.get());
    if (!data)
        return write_result::no_data;
    if (!data_is_complete(data, device_->size()))
        return write_result::read_error;
    // The Sleuth Kit reads clusters beyond the end of a short image as zeros without a
    // word: a file whose clusters lie past the volume's end cannot be written whole.
    if (const std::uint64_t end = data_end(data, fs_->block_size); end > device_->size()) {
        r.volume_end = device_->size();
        return write_result::truncated;
    }
    std::FILE* out = path ? std::fopen(path, "wb") : nullptr;
    if (!out)
        return write_result::cannot_create;

    // TSK reads a deleted file's runs as it reads a live one's: it does not ask whether the
    // clusters are still allocated, so no read flag is needed for deleted files.
    write_result result = write_result::written;
    auto* image = reinterpret_cast<external_image_s*>(image_);
    image->past_end = false;
    const auto size = static_cast<std::uint64_t>(data->size);
    // Every byte written is read into the buffer first, so it is left uninitialised.
    const auto buf = std::make_unique_for_overwrite<char[]>(
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 1, copy_chunk)));
    for (std::uint64_t off = 0; off < size;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(copy_chunk, size - off));
        const ssize_t got =
            tsk_fs_attr_read(data, static_cast<TSK_OFF_T>(off), buf.get(), want, TSK_FS_FILE_READ_FLAG_NONE);
        if (image->past_end) {
            r.volume_end = device_->size();
            result = write_result::truncated;
            break;
        }
        if (got < 0 || static_cast<std::size_t>(got) != want) {
            tsk_error_reset();
            result = write_result::read_error;
            break;
        }
        if (std::fwrite(buf.get(), 1, want, out) != want) {
            result = write_result::write_error;
            break;
        }
        if (r.bytes)
            r.bytes->fetch_add(want, std::memory_order_relaxed);
        off += want;
    }
    // Sectors that could not be read reached the file as zeros. Where they lie in the file
    // is known only for data stored as it is; compressed data around them cannot be told.
    if (result == write_result::written && !bad_.empty()) {
        r.unreadable = file_ranges_on(data, fs_->block_size, bad_, size);
        if (!r.unreadable.empty() && (data->flags & TSK_FS_ATTR_COMP))
            result = write_result::read_error;
    }
    if (std::fclose(out) != 0 && result == write_result::written)
        result = write_result::write_error;
    if (result != write_result::written)
        std::remove(path);
    return result;
}
