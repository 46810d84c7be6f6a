#pragma once
// What a carved format declares, and the reader its size function works through.
//
// Each format lives in a file of its own (jpeg.cpp, png.cpp, ...) and declares one
// signature_s: its name in the configuration file, its extension, its default maximum
// size, the header bytes that may start it (each at an offset inside the first sector) and
// a function that finds the file's length from the format's own structure. registry.cpp
// lists them all; the scan loop knows formats only through that list.
//
// Every byte a size function sees is untrusted: it reads through carve_reader, which never
// hands out bytes past the end of the volume or past the format's maximum size, so a
// truncated or hostile candidate can only make the function give up (std::nullopt).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class block_device;

// Reads the bytes of one candidate: offset 0 is the candidate's first byte. Nothing at or
// past limit() is ever returned, and a stop request from the scan makes every later read
// come back empty, so a size function over a huge candidate ends soon after a stop.
//
// Bytes the scan's current block holds are served from it. Beyond it the reader keeps a
// buffer of the device: a view that starts inside the buffer is served from it, and only
// the bytes past its end are read, so a walker that steps forward through a file reads
// each byte of it from the device once, however small its steps.
class carve_reader {
public:
    // base: the candidate's first byte on the device; limit: how many bytes from there the
    // candidate may span (the smaller of the volume's rest and the format's maximum).
    carve_reader(block_device& dev, std::uint64_t base, std::uint64_t limit, const std::atomic_ref<std::int32_t>* stop,
                 std::span<const std::uint8_t> block = {}, std::uint64_t block_offset = 0);

    std::uint64_t limit() const { return limit_; }

    // Up to n bytes (n at most window_bytes) at off; fewer only at limit() or on a read
    // error or stop (then empty). The span is valid until the next call.
    std::span<const std::uint8_t> view(std::uint64_t off, std::size_t n);

    // Exactly n bytes at off into out; false when they are not all there.
    bool read(std::uint64_t off, void* out, std::size_t n);

    // Fixed-width fields; std::nullopt when the bytes are not there.
    std::optional<std::uint8_t> u8(std::uint64_t off);
    std::optional<std::uint16_t> le16(std::uint64_t off);
    std::optional<std::uint32_t> le32(std::uint64_t off);
    std::optional<std::uint64_t> le64(std::uint64_t off);
    std::optional<std::uint16_t> be16(std::uint64_t off);
    std::optional<std::uint32_t> be32(std::uint64_t off);
    std::optional<std::uint64_t> be64(std::uint64_t off);

    // The first offset at or after from (and below to) where needle starts; nullopt if none.
    std::optional<std::uint64_t> find(std::uint64_t from, std::uint64_t to, std::string_view needle);

    bool stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0; }
    bool failed() const { return failed_; }

    static constexpr std::size_t window_bytes = 1u << 16;

private:
    // The buffer holds up to this many bytes, so that it can grow by whole windows before
    // the part still wanted has to be moved to its front.
    static constexpr std::size_t buffer_bytes = 4 * window_bytes;

    bool fill(std::uint64_t off, std::size_t n);
    bool copy_in(std::uint64_t off, std::uint8_t* out, std::size_t n, std::size_t& got);

    block_device& dev_;
    std::uint64_t base_;
    std::uint64_t limit_;
    const std::atomic_ref<std::int32_t>* stop_;
    std::span<const std::uint8_t> block_;    // the scan's current block, when it covers the candidate
    std::uint64_t block_offset_;             // device offset of block_[0]
    std::unique_ptr<std::uint8_t[]> cache_;  // buffer_bytes, made on the first read past the block
    std::uint64_t cache_off_ = 0;            // candidate-relative offset of cache_[0]
    std::size_t cache_len_ = 0;
    bool failed_ = false;
};

// What a size function found: the length, and the extension when it is not the format's
// default (a zip that holds a Word document is a docx).
struct carve_result_s {
    std::uint64_t size = 0;
    const char* extension = nullptr;
};

using size_function = std::optional<carve_result_s> (*)(carve_reader& r);

// For a format without header bytes: whether a file of it may start at a sector. sector
// holds the sector's bytes (fewer at the volume's end), previous the sector before it
// (empty at the volume's start). Asked for every sector that no header claimed, so it
// must answer most sectors from their first bytes.
using start_function = bool (*)(std::span<const std::uint8_t> sector, std::span<const std::uint8_t> previous);

struct signature_header_s {
    std::uint32_t offset = 0;  // where the bytes stand inside the file's first sector
    std::string_view bytes;    // at least 2 bytes
};

struct signature_s {
    const char* name;       // the type's name in the configuration file
    const char* extension;  // at most 8 characters
    std::uint64_t default_max;
    std::vector<signature_header_s> headers;  // empty for a format found by starts
    size_function size;
    start_function starts = nullptr;  // only for a format without headers
};

// Every format, in the order the scan tries them when several headers match one sector.
const std::vector<const signature_s*>& signature_registry();

// Turns a literal with embedded zeros into a header's bytes.
template <std::size_t N>
constexpr std::string_view sig_bytes(const char (&s)[N])
{
    return std::string_view(s, N - 1);
}

constexpr std::uint64_t kib = 1024;
constexpr std::uint64_t mib = 1024 * kib;
constexpr std::uint64_t gib = 1024 * mib;
