// The partition search over a drive made of the input, and the repair's write to it.
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "disk/device_registry.h"
#include "disk/partition_repair.h"
#include "disk/partition_table.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

int fuzz_partition_search(const std::uint8_t* data, std::size_t size)
{
    fuzz::quiet();
    const QString name = "mem:fuzz-drive";
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
    register_memory_device(name, bytes);

    // One sector per cylinder, so that the geometry covers every sector of a small input.
    drive_item_s drive;
    drive.path = name;
    drive.size = size;
    drive.geometry = disk_geometry_s{static_cast<std::int64_t>(size / 512), 0, 1, 1, 512};

    partition_repair_c search;
    search.set_drive(drive);
    FUZZ_CHECK(search.scan_drive(drive) == 0);
    const QList<partition_item_s> found = search.found_partitions();
    std::uint64_t previous = 0;
    for (qsizetype i = 0; i < found.size(); ++i) {
        const partition_item_s& p = found[i];
        FUZZ_CHECK(p.start_sector < size / 512);
        FUZZ_CHECK(p.end_sector >= p.start_sector);
        FUZZ_CHECK(i == 0 || p.start_sector > previous);
        FUZZ_CHECK(p.type == 7 || p.type == 12);
        previous = p.start_sector;
    }

    if (!found.isEmpty()) {
        search.set_backup_folder(fuzz::scratch_dir());
        const int written = search.write_partition_table();
        const table_plan_s& plan = search.last_plan();
        if (plan.refusal != repair_refusal_e::none) {
            // A refused repair writes nothing at all.
            FUZZ_CHECK(written == -1);
            FUZZ_CHECK(std::equal(bytes->begin(), bytes->end(), data));
        } else {
            if (written != 0)
                std::fprintf(stderr, "%s\n", qPrintable(search.last_error()));
            FUZZ_CHECK(written == 0);
            QFile::remove(search.last_backup_path());
            // The repair writes sector 0 and nothing else.
            FUZZ_CHECK(std::equal(bytes->begin() + 512, bytes->end(), data + 512));
            const std::array<std::uint8_t, 512> expected = build_master_boot_record(
                std::span<const std::uint8_t, 512>(data, 512), plan.new_entries, *drive.geometry);
            FUZZ_CHECK(std::equal(expected.begin(), expected.end(), bytes->begin()));
        }
    }
    unregister_device(name);
    return 0;
}
