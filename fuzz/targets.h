#pragma once
// The fuzz targets: one per reader of untrusted bytes. Each takes one input, runs the reader
// on it as the program would, and checks what must hold for any input. The libFuzzer
// programs call them, and the regression test replays every kept input through them.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using fuzz_function = int (*)(const std::uint8_t* data, std::size_t size);

struct fuzz_target_s {
    std::string_view name;
    fuzz_function run;
};

// A whole drive: the partition search, then the repair's write to it.
int fuzz_partition_search(const std::uint8_t* data, std::size_t size);
// Found partitions and a geometry: the table entries and the new sector 0 built from them.
int fuzz_partition_entries(const std::uint8_t* data, std::size_t size);
// A FAT volume's first bytes: mount, directory reads with long names, file reads along the
// chain and as contiguous clusters, then the FAT engine's walk, tree and recovery.
int fuzz_fat(const std::uint8_t* data, std::size_t size);
// An NTFS volume's first bytes (boot sector and MFT): the NTFS library and engine.
int fuzz_ntfs(const std::uint8_t* data, std::size_t size);
// A candidate file: the first byte picks a format whose size function reads the rest; then
// the whole deep scan runs over the input as a volume.
int fuzz_signatures(const std::uint8_t* data, std::size_t size);
// A scan-result file loaded by the deep engine.
int fuzz_scan_result(const std::uint8_t* data, std::size_t size);
// A localisation file read by the language loader.
int fuzz_language(const std::uint8_t* data, std::size_t size);
// The deep scan's configuration file or the program's settings file.
int fuzz_config(const std::uint8_t* data, std::size_t size);

const std::vector<fuzz_target_s>& fuzz_targets();
