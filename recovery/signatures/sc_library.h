#pragma once
// The signature library: finds files on a volume by their content and reads a volume's
// bytes for the deep engine. It is reached through six functions and one 32-byte context.
//
// The configuration file ("./Orvane.conf" for the recovery page) is a text file, one type
// per line:
//
//     # comment lines and blank lines are ignored
//     jpg on 64M        # type name, on or off, optional maximum size
//     zip off
//     pdf on 1G
//
// A type name is a format's name as sc_type_names() lists it; some names cover several
// extensions:
//     jpg png gif bmp pdf gz bz2 xz 7z rar elf flac mpg xcf psd (also psb)
//     zip     zip docx xlsx pptx odt ods odp epub jar apk
//     sqlite  sqlite        riff  wav avi webp       mp4  mp4 mov m4a 3gp heic
//     exe     exe dll       tif   tif                ole  doc xls ppt vsd msg ole
//     ogg     ogg opus ogv  mkv   mkv webm           ico  ico cur
//     ttf     ttf otf       pnm   pbm pgm ppm        mp3  mp3
//     txt     txt sh html xml json csv (plain text, found without a header)
// The size is a count of bytes with an optional suffix K, M, G or T (powers of 1024). Types
// not named keep their built-in state: enabled, with their built-in maximum. A line that
// cannot be read (unknown type, neither on nor off, bad size, extra words) is reported with
// its line number through the diagnostic sink (recovery/diagnostics.h) and skipped. A
// missing or unreadable file means every type enabled with its built-in maximum. Each call
// replaces the whole configuration.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The callback a scan reports found files through: the context's user pointer, the
// extension (NUL-terminated, at most 8 characters), the exact byte offset of the file's
// first byte on the volume and its length.
using sc_found_callback = void (*)(void* user, const char* extension, std::uint64_t offset, std::uint64_t size);

// The context shared between the engine and a scan, 32 bytes:
//   0  user      the engine; handed back as the callback's first argument
//   8  progress  fraction of the volume scanned, 0.0 to 1.0, written by the scan
//   16 pause     the scan waits, 100 ms at a time, while this is not 0
//   20 stop      the scan ends, within one block, once this is not 0
//   24 callback  the found-file function
// The layout was made for 4-byte pointers, each followed by 4 reserved bytes (0-3 + 4-7,
// 24-27 + 28-31). On 64-bit Linux a pointer is 8 bytes, so each pointer fills its own field
// and the reserved bytes behind it exactly, and every other field stays at its offset.
struct sc_context_s {
    void* user = nullptr;
    double progress = 0.0;
    std::int32_t pause = 0;
    std::int32_t stop = 0;
    sc_found_callback callback = nullptr;
};
static_assert(sizeof(void*) == 8, "the context layout assumes 8-byte pointers");
static_assert(sizeof(sc_context_s) == 32);
static_assert(offsetof(sc_context_s, progress) == 8);
static_assert(offsetof(sc_context_s, pause) == 16);
static_assert(offsetof(sc_context_s, stop) == 20);
static_assert(offsetof(sc_context_s, callback) == 24);

// Reads the configuration file at path (8-bit text). Result 0 when the file was read, -1
// when it could not be opened (then the built-in configuration holds).
int sc_load_config(const char* path);

// Scans the volume at device_path (a volume path, 8-bit text in the local encoding) and
// reports every file found through the context's callback, on the calling thread, in the
// order of their offsets. Returns when the scan is over or stopped; 0 when the volume's end
// was reached, 1 when stopped, -1 when the volume could not be opened. Unreadable sectors
// are skipped, counted and reported through the diagnostic sink.
int sc_scan(sc_context_s* context, const char* device_path);
// The same over a volume that the caller has opened already (the deep engine opens it where
// its volume item says it lies, without looking the volume up again by its path).
// A volume of 256 MiB or more whose device lets several threads read it at once (an image
// file) is scanned in parts on several threads; what is reported, and in which order, is
// what one pass from start to end reports.
class block_device;
int sc_scan_device(sc_context_s* context, block_device& volume);

// sc_scan_device with the volume cut into the given number of parts (0: as sc_scan_device
// decides; 1 on a device that does not take reads from several threads), for tests.
int sc_scan_in_parts(sc_context_s* context, block_device& volume, int parts);

// Reading a volume: a handle from sc_open (nullptr on failure), a position set with sc_seek
// (origin 0: from the start; negative result on failure), sc_read of up to count bytes
// (the count read, 0 at the end, -1 on a read error), sc_close.
struct sc_file_s;
sc_file_s* sc_open(const char* device_path);
std::int32_t sc_seek(sc_file_s* handle, std::int64_t position, std::int32_t origin);
std::int32_t sc_read(sc_file_s* handle, void* buffer, std::int32_t count);
std::int32_t sc_close(sc_file_s* handle);

// The type names the configuration file may use, in the library's order.
std::vector<std::string> sc_type_names();
