// The FAT module and the FAT engine over a volume made of the input.
#include <QFile>
#include <algorithm>
#include <vector>

#include "disk/drive_list.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/fat/fat_drive_table.h"
#include "recovery/fat/fat_module.h"
#include "recovery/fat/fat_recovery.h"
#include "recovery/recovery_session.h"

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
    qputenv("VANTREL_IMAGES_ONLY", "1");
    // The drive list names an image file whose every open is served from the input.
    const fuzz::input_volume volume("fat.img", data, size, declared_size(data, size), QStringLiteral("FAT32"));
    set_drive_images({volume.image()});

    // The engine's scan as the window and the command line run it: the session opens the
    // drive table over the drive list and picks the FAT engine by the file system's name.
    recovery_session_c& session = fuzz::session();
    FUZZ_CHECK(session.start(volume.item()));
    FUZZ_CHECK(session.wait());
    FUZZ_CHECK(session.kind() == engine_kind::fat);
    fat_recovery_c& engine = session.fat_engine();
    FUZZ_CHECK(engine.entry_table.count(0) == 1);

    // The module's own reads of the root folder and its files, on the drive table the
    // session opened.
    if (fat_drive_count() < 1)
        return 0;
    volume_partition_table[0] = {0, 0, 0};
    FATFS fs;
    f_mount(0, &fs);
    read_root();
    f_mount(0, nullptr);

    int recovered = 0;
    const QString out = fuzz::scratch_dir() + "/fat-recovered";
    for (const auto& [cluster, entry] : engine.entry_table) {
        QString path;
        engine.get_item_path(cluster, path);
        if (recovered < 4 && !(entry.attributes & fat_attr_folder) && entry.size <= max_read) {
            ++recovered;
            // A file is written in its full size (whole, or with unreadable sectors and
            // clusters that other files use now as zeros), or reported as failed and left out.
            const std::int32_t r = engine.recover_item(cluster, out);
            FUZZ_CHECK(r == recover_written || r == recover_partial || r == recover_read_error ||
                       r == recover_truncated);
            FUZZ_CHECK(r < 0 || QFile(out).size() == entry.size);
            FUZZ_CHECK(r >= 0 || !QFile::exists(out));
        }
    }
    QFile::remove(out);
    return 0;
}
