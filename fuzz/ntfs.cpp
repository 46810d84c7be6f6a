// The NTFS library and engine over a volume whose first bytes (boot sector, MFT) are the
// input; the rest of the volume reads as zeros.
#include <QFile>
#include <algorithm>
#include <array>

#include "disk/block_device.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"
#include "recovery/ntfs/ntfs_library.h"
#include "recovery/ntfs/ntfs_recovery.h"
#include "recovery/recovery_session.h"

namespace {

constexpr std::uint64_t max_volume = 64ull << 20;
constexpr std::uint64_t max_recover = 256u << 10;

std::uint64_t declared_size(const std::uint8_t* data, std::size_t size)
{
    if (size < 48)
        return size;
    const std::uint64_t bytes_per_sector = data[11] | (data[12] << 8);
    std::uint64_t sectors = 0;
    for (int i = 7; i >= 0; --i)
        sectors = (sectors << 8) | data[40 + i];
    // The backup boot sector follows the last sector of the file system.
    if (bytes_per_sector == 0 || sectors >= max_volume / bytes_per_sector)
        return max_volume;
    return (sectors + 1) * bytes_per_sector;
}

}  // namespace

int fuzz_ntfs(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    const std::uint64_t volume_size = declared_size(data, size);
    // The library alone first: a volume it refuses is left there, since the engine would
    // write each refusal to its log file in the working folder.
    {
        std::array<std::uint8_t, ntfs_context_bytes> context{};
        if (ntfs_scan_startup_device(fuzz::input_device(data, size, volume_size), context.data()) != 0)
            return 0;
        ntfs_scan_close(context.data());
    }

    // The engine's scan as the window and the command line run it.
    const fuzz::input_volume volume("ntfs.img", data, size, volume_size, QStringLiteral("NTFS"));
    recovery_session_c& session = fuzz::session();
    FUZZ_CHECK(session.start(volume.item()));
    FUZZ_CHECK(session.wait());
    FUZZ_CHECK(session.kind() == engine_kind::ntfs);
    ntfs_recovery_c& engine = session.ntfs_engine();
    FUZZ_CHECK(engine.get_progress() >= 0.0 && engine.get_progress() <= 1.0);
    const QString out = fuzz::scratch_dir() + "/ntfs-recovered";
    int recovered = 0;
    for (const auto& [number, entry] : engine.entry_table) {
        QString path;
        engine.get_item_path(number, path);
        if (recovered < 4 && (entry.flags() & ntfs_flag_file) && entry.size() <= max_recover) {
            ++recovered;
            const std::int32_t r = engine.recover_item(number, out);
            // A file is left only when it was written whole.
            FUZZ_CHECK(r == 0 ? QFile::exists(out) : !QFile::exists(out));
            QFile::remove(out);
        }
    }
    return 0;
}
