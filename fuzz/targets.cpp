#include "fuzz/targets.h"

const std::vector<fuzz_target_s>& fuzz_targets()
{
    static const std::vector<fuzz_target_s> list = {
        {"partition_search", fuzz_partition_search},
        {"partition_entries", fuzz_partition_entries},
        {"fat", fuzz_fat},
        {"ntfs", fuzz_ntfs},
        {"signatures", fuzz_signatures},
        {"scan_result", fuzz_scan_result},
        {"language", fuzz_language},
        {"config", fuzz_config},
    };
    return list;
}
