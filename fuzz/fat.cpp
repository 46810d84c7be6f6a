// The FAT module and the FAT engine over a volume made of the input.
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"
#include "recovery/fat/fat_recovery.h"

namespace {

constexpr std::uint64_t max_volume = 64ull << 20;
constexpr std::uint32_t max_read = 256u << 10;

// The volume's size as its boot sector gives it, so that structures the input leaves out
// read as zeros rather than past the end.
std::uint64_t declared_size(const std::uint8_t* data, std::size_t size)
{
    if (size < 36)
        return size;
    std::uint64_t sectors = data[19] | (data[20] << 8);
    if (sectors == 0)
        sectors = data[32] | (data[33] << 8) | (data[34] << 16) | (std::uint64_t{data[35]} << 24);
    return std::min(sectors * 512, max_volume);
}

// Runs the scan on the calling thread, which is the fuzzer's.
class fuzz_fat_engine : public fat_recovery_c {
public:
    void scan(const volume_item_s& volume)
    {
        set_volume(volume);
        run();
    }
};

// Reads a file as the engine would, along its chain or as contiguous clusters, and checks
// that the read never claims more than asked or more than the file holds.
void read_file(const FILINFO& info, bool contiguous)
{
    FIL file{};
    file.fs = &fat_volume;
    file.id = fat_volume.id;
    file.flag = FA_READ;
    file.fsize = info.fsize;
    file.org_clust = info.fclust;
    std::vector<std::uint8_t> buf(4096);
    std::uint32_t total = 0;
    while (total < max_read) {
        std::uint32_t got = 0;
        const FRESULT r = f_read(&file, buf.data(), static_cast<std::uint32_t>(buf.size()), &got, contiguous);
        FUZZ_CHECK(got <= buf.size());
        total += got;
        FUZZ_CHECK(file.fptr <= file.fsize);
        if (r != FR_OK || got == 0)
            break;
    }
}

void read_root()
{
    DIR dir{};
    if (f_opendir(&dir, "/") != FR_OK)
        return;
    char16_t long_name[fat_lfn_chars];
    for (int entries = 0;; ++entries) {
        // Every directory ends after at most 65536 entries.
        FUZZ_CHECK(entries <= 65536);
        FILINFO info{};
        info.lfname = long_name;
        info.lfsize = fat_lfn_chars;
        if (f_readdir(&dir, &info) != FR_OK || info.fname[0] == 0)
            break;
        FUZZ_CHECK(std::find(long_name, long_name + fat_lfn_chars, u'\0') != long_name + fat_lfn_chars);
        if (info.fclust != 0 && !(info.fattrib & AM_DIR)) {
            read_file(info, false);
            read_file(info, true);
        }
    }
}

}  // namespace

int fuzz_fat(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    // The drive list names an image file that exists; every open of its path is served
    // from the input in memory, through the device registry.
    static const QString image = [] {
        const QString path = QFileInfo(fuzz::write_scratch("fat.img", nullptr, 0)).absoluteFilePath();
        qputenv("VANTREL_IMAGES_ONLY", "1");
        return path;
    }();
    set_drive_images({image});
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
    const std::uint64_t volume_size = declared_size(data, size);
    register_device(image, [bytes, volume_size](device_access) { return fuzz::input_device(bytes, volume_size); });
    struct unregister_s {
        ~unregister_s() { unregister_device(image); }
    } unregister_at_return;
    if (reopen_fat_drives() < 1)
        return 0;
    volume_partition_table[0] = {0, 0, 0};

    FATFS fs;
    f_mount(0, &fs);
    read_root();
    f_mount(0, nullptr);

    volume_item_s volume;
    volume.disk_number = 0;
    volume.partition_number = 0;
    volume.start_sector = 0;
    fuzz_fat_engine engine;
    engine.scan(volume);
    FUZZ_CHECK(engine.entry_table.count(0) == 1);
    int recovered = 0;
    const QString out = fuzz::scratch_dir() + "/fat-recovered";
    for (const auto& [cluster, entry] : engine.entry_table) {
        QString path;
        engine.get_item_path(cluster, path);
        if (recovered < 4 && !(entry.attributes & fat_attr_folder) && entry.size <= max_read) {
            ++recovered;
            // A file is either written whole or reported as failed.
            const std::int32_t r = engine.recover_item(cluster, out);
            FUZZ_CHECK(r == recover_written || r == recover_read_error);
            FUZZ_CHECK(r != recover_written || QFile(out).size() == entry.size);
            FUZZ_CHECK(QFile(out).size() <= entry.size);
        }
    }
    QFile::remove(out);
    return 0;
}
