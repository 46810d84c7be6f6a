#pragma once
// What the fuzz targets share: a device over the input bytes, a scratch folder for readers
// that take a path, and a check that turns a broken promise into a crash the fuzzer sees.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class block_device;

namespace fuzz {

// The input as a read-only device of `size` bytes (at least the input's): zeros after it.
// A small input can so stand for a volume of a realistic size whose structures lie at its
// start.
std::unique_ptr<block_device> input_device(const std::uint8_t* data, std::size_t n, std::uint64_t size);
// The same over bytes that several devices share, so that each open does not copy them.
std::unique_ptr<block_device> input_device(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::uint64_t size);

// A folder of this process's own, made on first use and removed at exit.
const QString& scratch_dir();

// Writes the input to a file in the scratch folder (replacing it), extended with a hole to
// `size` bytes when that is more; returns its path.
QString write_scratch(const QString& name, const std::uint8_t* data, std::size_t n, std::uint64_t size = 0);

// Silences the diagnostics the engines print, once per process.
void quiet();

[[noreturn]] void check_failed(const char* what, const char* file, int line);

}  // namespace fuzz

// A property every input must keep; its failure aborts, which the fuzzer reports as a crash.
#define FUZZ_CHECK(cond)                                     \
    do {                                                     \
        if (!(cond))                                         \
            ::fuzz::check_failed(#cond, __FILE__, __LINE__); \
    } while (0)
