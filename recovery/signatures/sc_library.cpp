// The scan loop and the volume reader of the signature library. The loop knows formats
// only through the registry: it checks the registered headers at every 512-byte boundary
// (files start on cluster boundaries) and asks a matching format for the file's length.
// A sector that no header claims is offered to the formats without headers (plain text).
#include "recovery/signatures/sc_library.h"

#include <QString>
#include <QThread>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "disk/block_device.h"
#include "recovery/diagnostics.h"
#include "recovery/signatures/sc_config.h"
#include "recovery/signatures/signature.h"
#include "volumes/volume_device.h"

namespace {

constexpr std::uint64_t sector = 512;
constexpr std::size_t block_bytes = 4u << 20;  // read sequentially, 4 MiB at a time

struct candidate_s {
    const signature_s* signature;
    std::string_view bytes;
    std::uint64_t max_size;
};

// The headers that stand at one offset inside a sector, found by their first two bytes: a
// bit per two-byte prefix says whether any header starts so, and the candidates are sorted
// by prefix (keeping the registry's order among equals), so each sector costs one bit test
// per distinct offset and the tables stay small enough to build for every scan.
struct header_group_s {
    std::uint32_t offset = 0;
    std::array<std::uint64_t, 65536 / 64> present{};
    std::vector<std::pair<unsigned, candidate_s>> candidates;

    bool has(unsigned key) const { return (present[key >> 6] >> (key & 63)) & 1; }
    std::span<const std::pair<unsigned, candidate_s>> with_prefix(unsigned key) const
    {
        const auto lower = std::lower_bound(candidates.begin(), candidates.end(), key,
                                            [](const auto& c, unsigned k) { return c.first < k; });
        auto upper = lower;
        while (upper != candidates.end() && upper->first == key)
            ++upper;
        return {lower, upper};
    }
};

// The enabled formats that have no header bytes, asked at every sector no header claimed.
std::vector<candidate_s> headerless_formats(const std::vector<sc_type_setting_s>& settings)
{
    std::vector<candidate_s> out;
    const std::vector<const signature_s*>& registry = signature_registry();
    for (std::size_t i = 0; i < registry.size(); ++i) {
        if (settings[i].enabled && settings[i].max_size != 0 && registry[i]->starts != nullptr)
            out.push_back({registry[i], {}, settings[i].max_size});
    }
    return out;
}

std::vector<header_group_s> build_groups(const std::vector<sc_type_setting_s>& settings)
{
    std::vector<header_group_s> groups;
    const std::vector<const signature_s*>& registry = signature_registry();
    for (std::size_t i = 0; i < registry.size(); ++i) {
        if (!settings[i].enabled || settings[i].max_size == 0)
            continue;
        for (const signature_header_s& h : registry[i]->headers) {
            if (h.bytes.size() < 2 || h.offset + h.bytes.size() > sector)
                continue;
            auto g = std::find_if(groups.begin(), groups.end(),
                                  [&](const header_group_s& x) { return x.offset == h.offset; });
            if (g == groups.end()) {
                groups.emplace_back();
                g = groups.end() - 1;
                g->offset = h.offset;
            }
            const unsigned key = static_cast<std::uint8_t>(h.bytes[0]) << 8 | static_cast<std::uint8_t>(h.bytes[1]);
            g->present[key >> 6] |= std::uint64_t{1} << (key & 63);
            g->candidates.push_back({key, {registry[i], h.bytes, settings[i].max_size}});
        }
    }
    for (header_group_s& g : groups)
        std::stable_sort(g.candidates.begin(), g.candidates.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    return groups;
}

// Reads one block. A failed read is narrowed down sector by sector: unreadable sectors are
// zero-filled, marked in bad, counted and reported, so one damaged place neither ends the
// scan nor hides the rest of its block. Returns the count read (0 at the end).
std::size_t read_block(block_device& dev, std::uint64_t pos, std::uint8_t* buf, std::size_t n, std::vector<bool>& bad,
                       std::uint64_t& bad_count)
{
    bad.assign((n + sector - 1) / sector, false);
    const std::int64_t got = dev.read_at(pos, buf, n);
    if (got >= 0)
        return static_cast<std::size_t>(got);
    std::size_t done = 0;
    std::uint64_t run_start = 0;
    std::uint64_t run_len = 0;
    for (std::size_t s = 0; s * sector < n; ++s) {
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(sector, n - s * sector));
        const std::int64_t r = dev.read_at(pos + s * sector, buf + s * sector, len);
        if (r < 0) {
            std::memset(buf + s * sector, 0, len);
            bad[s] = true;
            ++bad_count;
            if (run_len == 0)
                run_start = pos + s * sector;
            run_len += len;
            done = s * sector + len;
            continue;
        }
        if (run_len != 0) {
            diagnostic("deep scan: %llu unreadable bytes at offset %llu skipped\n",
                       static_cast<unsigned long long>(run_len), static_cast<unsigned long long>(run_start));
            run_len = 0;
        }
        done = s * sector + static_cast<std::size_t>(r);
        if (static_cast<std::size_t>(r) < len)
            break;
    }
    if (run_len != 0)
        diagnostic("deep scan: %llu unreadable bytes at offset %llu skipped\n",
                   static_cast<unsigned long long>(run_len), static_cast<unsigned long long>(run_start));
    return done;
}

// A file the scan found.
struct found_s {
    const char* extension;  // a format's static text
    std::uint64_t offset;
    std::uint64_t size;
};

// What every stretch of one scan shares: the formats, the volume's size, the context's
// fields and the count of bytes scanned so far, for the progress.
struct scan_shared_s {
    std::vector<header_group_s> groups;
    std::vector<candidate_s> headerless;
    std::uint64_t size = 0;
    std::atomic_ref<std::int32_t> stop;
    std::atomic_ref<std::int32_t> pause;
    std::atomic_ref<double> progress;
    std::atomic<std::uint64_t> scanned{0};
    std::atomic<std::uint64_t> bad_count{0};
};

struct stretch_end_s {
    bool stopped = false;
    std::uint64_t next = 0;               // no file is looked for before this offset after the stretch
    std::optional<std::uint64_t> joined;  // where joins() said yes
};

// Scans the sectors of [from, to) on dev, none before next (a sector inside a file found
// earlier), and hands each file found to found. A file found near `to` may run past it:
// the end's next says where the following sectors become free again. When joins says yes
// to a sector the scan is about to look at, the scan ends there (see scan_parts).
template <typename found_f, typename joins_f>
stretch_end_s scan_stretch(scan_shared_s& shared, block_device& dev, std::uint64_t from, std::uint64_t to,
                           std::uint64_t next, found_f&& found, joins_f&& joins)
{
    std::array<std::uint8_t, sector> before_block{};  // the sector before the current block
    // A small volume needs no more than its own size of buffer.
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(
        std::min<std::uint64_t>(block_bytes, (to - std::min(from, to) + sector - 1) / sector * sector)));
    std::vector<bool> bad;
    std::uint64_t bad_count = 0;
    std::uint64_t pos = from;  // start of the current block, a multiple of 512
    const std::uint64_t size = shared.size;
    stretch_end_s end;
    const auto finish = [&](bool stopped) {
        shared.bad_count += bad_count;
        end.stopped = stopped;
        end.next = next;
        return end;
    };

    while (pos < to) {
        if (shared.stop.load() != 0)
            return finish(true);
        while (shared.pause.load() != 0) {
            if (shared.stop.load() != 0)
                return finish(true);
            QThread::msleep(100);
        }
        pos = std::max(pos, next);
        // Holes of an image file read as zeros, and no header is all zeros: skip them.
        const std::uint64_t data = dev.next_data(pos);
        if (data > pos)
            pos = data / sector * sector;
        if (pos >= to)
            break;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), to - pos));
        const std::size_t n = read_block(dev, pos, buf.data(), want, bad, bad_count);
        if (n == 0)
            break;
        const std::span<const std::uint8_t> block(buf.data(), n);
        std::span<const std::uint8_t> previous_of_block;
        if (!shared.headerless.empty() && pos >= sector &&
            dev.read_at(pos - sector, before_block.data(), sector) == sector)
            previous_of_block = before_block;

        // Asks the formats without headers about the sector at s, and reports what they find.
        const auto try_headerless = [&](std::size_t s, std::uint64_t at) {
            const std::span<const std::uint8_t> here = block.subspan(s, std::min<std::size_t>(sector, n - s));
            const std::span<const std::uint8_t> previous =
                s >= sector ? block.subspan(s - sector, sector) : previous_of_block;
            for (const candidate_s& c : shared.headerless) {
                if (!c.signature->starts(here, previous))
                    continue;
                const std::uint64_t limit = std::min(c.max_size, size - at);
                carve_reader reader(dev, at, limit, &shared.stop, block, pos);
                const std::optional<carve_result_s> r = c.signature->size(reader);
                if (!r || r->size == 0 || r->size > limit || reader.failed())
                    continue;
                found(found_s{r->extension ? r->extension : c.signature->extension, at, r->size});
                next = (at + r->size + sector - 1) / sector * sector;
                return;
            }
        };

        for (std::size_t s = 0; s < n; s += sector) {
            const std::uint64_t at = pos + s;
            if (at < next)
                continue;
            if (joins(at)) {
                end.joined = at;
                return finish(false);
            }
            if (bad[s / sector])
                continue;
            bool matched = false;
            bool claimed = false;  // a header matched here, whether or not its file checked out
            for (const header_group_s& g : shared.groups) {
                if (s + g.offset + 2 > n)
                    continue;
                const unsigned key = buf[s + g.offset] << 8 | buf[s + g.offset + 1];
                if (!g.has(key))
                    continue;
                for (const auto& [prefix, c] : g.with_prefix(key)) {
                    if (s + g.offset + c.bytes.size() > n ||
                        std::memcmp(buf.data() + s + g.offset, c.bytes.data(), c.bytes.size()) != 0)
                        continue;
                    claimed = true;
                    const std::uint64_t limit = std::min(c.max_size, size - at);
                    carve_reader reader(dev, at, limit, &shared.stop, block, pos);
                    const std::optional<carve_result_s> r = c.signature->size(reader);
                    if (shared.stop.load() != 0)
                        return finish(true);
                    if (!r || r->size == 0 || r->size > limit || reader.failed())
                        continue;
                    found(found_s{r->extension ? r->extension : c.signature->extension, at, r->size});
                    next = (at + r->size + sector - 1) / sector * sector;
                    matched = true;
                    break;
                }
                if (matched)
                    break;
            }
            if (!claimed && !shared.headerless.empty()) {
                try_headerless(s, at);
                if (shared.stop.load() != 0)
                    return finish(true);
            }
        }
        pos += n;
        const std::uint64_t scanned = shared.scanned += n;
        shared.progress.store(std::min(1.0, static_cast<double>(scanned) / static_cast<double>(size)));
        if (n < want)
            break;  // the device ended early
    }
    return finish(false);
}

// One stretch of the volume scanned on a thread of its own: its files, held back until the
// stretches before it are settled, and its end.
struct part_s {
    std::uint64_t from = 0, to = 0;
    std::vector<found_s> found;
    stretch_end_s end;

    // Whether this part's scan looked at the sector at `at` with no file of its own
    // running over it; from such a sector on, it saw what a scan from the volume's start
    // sees.
    bool looked_at(std::uint64_t at) const
    {
        if (at < from || at >= to)
            return false;
        const auto after = std::upper_bound(found.begin(), found.end(), at,
                                            [](std::uint64_t a, const found_s& f) { return a < f.offset; });
        if (after == found.begin())
            return true;
        const found_s& f = *(after - 1);
        return f.offset == at || at >= (f.offset + f.size + sector - 1) / sector * sector;
    }
};

}  // namespace

int sc_scan(sc_context_s* context, const char* device_path)
{
    if (context == nullptr || device_path == nullptr)
        return -1;
    std::unique_ptr<block_device> dev = open_volume(QString::fromLocal8Bit(device_path));
    if (!dev)
        return -1;
    return sc_scan_device(context, *dev);
}

int sc_scan_device(sc_context_s* context, block_device& volume)
{
    return sc_scan_in_parts(context, volume, 0);
}

// The volume is cut into parts, each scanned on its own thread as if from the volume's
// start; the calling thread scans the first and reports its files as it goes. A part's own
// scan is right from the first sector it looked at with no file running over it, as a
// scan from the start would: at the first such sector at or past where the files before
// it end, the two scans meet, and its files from there on are reported. The sectors before
// the meeting point (a file found in the part before ran into it) are scanned again, in
// order, on the calling thread; when they run past a part's end, its own files are
// dropped. So the
// files reported are exactly those of one scan from start to end, in the same order.
int sc_scan_in_parts(sc_context_s* context, block_device& volume, int parts)
{
    if (context == nullptr)
        return -1;
    const std::vector<sc_type_setting_s> settings = sc_current_settings();
    scan_shared_s shared{build_groups(settings),
                         headerless_formats(settings),
                         volume.size(),
                         std::atomic_ref<std::int32_t>(context->stop),
                         std::atomic_ref<std::int32_t>(context->pause),
                         std::atomic_ref<double>(context->progress)};
    const std::uint64_t size = shared.size;
    const std::uint64_t sectors = (size + sector - 1) / sector;
    if (parts <= 0)
        parts = size >= 256 * mib ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)) : 1;
    if (!volume.concurrent_reads())
        parts = 1;
    parts = static_cast<int>(
        std::clamp<std::uint64_t>(static_cast<std::uint64_t>(parts), 1, std::max<std::uint64_t>(sectors, 1)));

    const auto report = [&](const found_s& f) {
        if (context->callback)
            context->callback(context->user, f.extension, f.offset, f.size);
    };
    const auto never = [](std::uint64_t) { return false; };

    std::vector<part_s> rest(static_cast<std::size_t>(parts - 1));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        part_s& p = rest[i];
        p.from = std::min(size, sectors * (i + 1) / static_cast<std::uint64_t>(parts) * sector);
        p.to = std::min(size, sectors * (i + 2) / static_cast<std::uint64_t>(parts) * sector);
        threads.emplace_back([&shared, &p, &volume] {
            p.end = scan_stretch(
                shared, volume, p.from, p.to, 0, [&p](const found_s& f) { p.found.push_back(f); },
                [](std::uint64_t) { return false; });
        });
    }
    const std::uint64_t first_end = rest.empty() ? size : rest.front().from;
    stretch_end_s end = scan_stretch(shared, volume, 0, first_end, 0, report, never);
    for (std::thread& t : threads)
        t.join();

    std::uint64_t next = end.next;
    for (const part_s& p : rest) {
        if (end.stopped || p.end.stopped || shared.stop.load() != 0) {
            end.stopped = true;
            break;
        }
        if (next <= p.from) {
            for (const found_s& f : p.found)
                report(f);
            next = p.end.next;
            continue;
        }
        // A file found before the part runs into it: scan on from its end until the part's
        // own scan is met.
        end = scan_stretch(shared, volume, std::max(next, p.from), p.to, next, report,
                           [&p](std::uint64_t at) { return p.looked_at(at); });
        if (end.stopped)
            break;
        if (!end.joined) {  // the part lies wholly inside files found before it
            next = end.next;
            continue;
        }
        for (const found_s& f : p.found) {
            if (f.offset >= *end.joined)
                report(f);
        }
        next = p.end.next;
    }
    if (shared.bad_count != 0)
        diagnostic("deep scan: %llu unreadable sectors skipped in all\n",
                   static_cast<unsigned long long>(shared.bad_count.load()));
    if (end.stopped)
        return 1;
    shared.progress.store(1.0);
    return 0;
}

struct sc_file_s {
    std::unique_ptr<block_device> dev;
    std::uint64_t pos = 0;
};

sc_file_s* sc_open(const char* device_path)
{
    if (device_path == nullptr)
        return nullptr;
    std::unique_ptr<block_device> dev = open_volume(QString::fromLocal8Bit(device_path));
    if (!dev)
        return nullptr;
    return new sc_file_s{std::move(dev), 0};
}

std::int32_t sc_seek(sc_file_s* handle, std::int64_t position, std::int32_t origin)
{
    if (handle == nullptr || origin != 0 || position < 0)
        return -1;
    handle->pos = static_cast<std::uint64_t>(position);
    return 0;
}

std::int32_t sc_read(sc_file_s* handle, void* buffer, std::int32_t count)
{
    if (handle == nullptr || buffer == nullptr || count < 0)
        return -1;
    const std::int64_t r = handle->dev->read_at(handle->pos, buffer, static_cast<std::size_t>(count));
    if (r > 0)
        handle->pos += static_cast<std::uint64_t>(r);
    return static_cast<std::int32_t>(r);
}

std::int32_t sc_close(sc_file_s* handle)
{
    delete handle;
    return 0;
}
