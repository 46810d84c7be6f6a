#pragma once
// What the fuzz targets share: a device over the input bytes, a scratch folder for readers
// that take a path, and a check that turns a broken promise into a crash the fuzzer sees.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "volumes/volume_item.h"

class block_device;
class recovery_session_c;

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

// While it lives, an image file of the scratch folder whose every open (through the device
// registry) is served from the input, zeros after it up to `size`; item() is the image as a
// whole volume with that file system, for a recovery session.
class input_volume {
public:
    input_volume(const QString& name, const std::uint8_t* data, std::size_t n, std::uint64_t size,
                 const QString& file_system);
    ~input_volume();
    input_volume(const input_volume&) = delete;
    input_volume& operator=(const input_volume&) = delete;
    const QString& image() const { return item_.device_name; }
    const volume_item_s& item() const { return item_; }

private:
    volume_item_s item_;
};

// The recovery session the targets scan through, one per process, with the deep scan's
// built-in configuration.
recovery_session_c& session();

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
