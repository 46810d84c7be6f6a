// The signature library's scan loop: what it reports, pause and stop, the configuration
// file, unreadable sectors, and the volume reader used for recovery.
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "disk/device_registry.h"
#include "tests/support/raw_image.h"
#include "recovery/diagnostics.h"
#include "recovery/raw/raw_recovery.h"
#include "recovery/signatures/sc_library.h"
#include "recovery/signatures/signature.h"
#include "volumes/volume_device.h"

using namespace raw_fixtures;

namespace {

struct report_s {
    std::string extension;
    std::uint64_t offset, size;
};

struct collector_s {
    std::vector<report_s> reports;
    sc_context_s* context = nullptr;
    int stop_after = -1;  // sets stop once this many files were reported
};

void collect(void* user, const char* extension, std::uint64_t offset, std::uint64_t size)
{
    auto* c = static_cast<collector_s*>(user);
    c->reports.push_back({extension, offset, size});
    if (c->stop_after >= 0 && static_cast<int>(c->reports.size()) >= c->stop_after)
        std::atomic_ref<std::int32_t>(c->context->stop).store(1);
}

// Takes the library's diagnostic lines while it lives; afterwards they go to stderr again.
class diagnostics_capture {
public:
    diagnostics_capture()
    {
        set_diagnostic_sink([this](std::string_view t) {
            const std::lock_guard<std::mutex> g(lock_);
            text_ += t;
        });
    }
    ~diagnostics_capture() { set_diagnostic_sink(stderr_diagnostics()); }
    std::string text() const
    {
        const std::lock_guard<std::mutex> g(lock_);
        return text_;
    }

private:
    mutable std::mutex lock_;
    std::string text_;
};

// Restores the built-in configuration after a test that loaded one of its own.
struct config_guard {
    ~config_guard() { sc_load_config("/nonexistent/Orvane.conf"); }
};

raw_image image_with(int jpegs, int pngs, unsigned seed = 3)
{
    raw_image image(seed);
    image.filler(1, 4);
    for (int i = 0; i < std::max(jpegs, pngs); ++i) {
        if (i < jpegs)
            image.add("jpg", jpeg(image.generator()));
        image.filler(0, 3);
        if (i < pngs)
            image.add("png", png(image.generator()));
        image.filler(0, 3);
    }
    return image;
}

// A memory device that adds up the bytes read through it.
class counting_device : public memory_device {
public:
    counting_device(std::shared_ptr<std::vector<std::uint8_t>> bytes, std::shared_ptr<std::uint64_t> count)
        : memory_device(std::move(bytes), false), count_(std::move(count))
    {
    }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        const std::int64_t r = memory_device::read_at(off, buf, n);
        if (r > 0)
            *count_ += static_cast<std::uint64_t>(r);
        return r;
    }

private:
    std::shared_ptr<std::uint64_t> count_;
};

std::shared_ptr<std::vector<std::uint8_t>> bytes_of(const QByteArray& b)
{
    return std::make_shared<std::vector<std::uint8_t>>(b.begin(), b.end());
}

}  // namespace

TEST(sc_library, scan_reports_each_file_once_in_offset_order)
{
    raw_image image = image_with(3, 2);
    const QString volume = image.write();
    collector_s c;
    sc_context_s ctx;
    ctx.user = &c;
    ctx.callback = collect;
    EXPECT_EQ(sc_scan(&ctx, volume.toLocal8Bit().constData()), 0);
    ASSERT_EQ(c.reports.size(), image.files().size());
    for (std::size_t i = 0; i < c.reports.size(); ++i) {
        EXPECT_EQ(c.reports[i].extension, image.files()[i].extension.toStdString());
        EXPECT_EQ(c.reports[i].offset, image.files()[i].offset);
        EXPECT_EQ(c.reports[i].size, static_cast<std::uint64_t>(image.files()[i].bytes.size()));
    }
    EXPECT_EQ(ctx.progress, 1.0);
}

TEST(sc_library, scan_of_a_missing_volume_reports_nothing)
{
    collector_s c;
    sc_context_s ctx;
    ctx.user = &c;
    ctx.callback = collect;
    EXPECT_EQ(sc_scan(&ctx, "/nonexistent/volume.img@p0"), -1);
    EXPECT_TRUE(c.reports.empty());
    EXPECT_EQ(sc_scan(nullptr, "x"), -1);
}

TEST(sc_library, stop_from_the_callback_ends_the_scan_at_once)
{
    raw_image image = image_with(4, 0);
    const QString volume = image.write();
    collector_s c;
    sc_context_s ctx;
    c.context = &ctx;
    c.stop_after = 1;
    ctx.user = &c;
    ctx.callback = collect;
    EXPECT_EQ(sc_scan(&ctx, volume.toLocal8Bit().constData()), 1);
    EXPECT_EQ(c.reports.size(), 1u);
}

// A paused scan makes no progress and reports nothing; a stop while paused ends it without
// resuming; and a scan that is resumed runs to its end.
TEST(sc_library, pause_holds_the_scan_and_stop_ends_it)
{
    raw_image image = image_with(2, 1);
    const QString volume = image.write();
    const QByteArray path = volume.toLocal8Bit();

    collector_s c;
    sc_context_s ctx;
    ctx.user = &c;
    ctx.callback = collect;
    ctx.pause = 1;
    int result = 99;
    std::thread scan([&] { result = sc_scan(&ctx, path.constData()); });
    QThread::msleep(300);
    EXPECT_EQ(std::atomic_ref<double>(ctx.progress).load(), 0.0);
    std::atomic_ref<std::int32_t>(ctx.stop).store(1);
    scan.join();
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(c.reports.empty());
    EXPECT_EQ(ctx.progress, 0.0);

    collector_s c2;
    sc_context_s ctx2;
    ctx2.user = &c2;
    ctx2.callback = collect;
    ctx2.pause = 1;
    std::thread scan2([&] { result = sc_scan(&ctx2, path.constData()); });
    QThread::msleep(250);
    EXPECT_TRUE(c2.reports.empty());
    std::atomic_ref<std::int32_t>(ctx2.pause).store(0);
    scan2.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(c2.reports.size(), 3u);
}

// The engine's own run: the stop code the page sets survives the scan, so get_stop tells
// the page how the scan ended; a stop set before the start is cleared by run's reset.
TEST(sc_library, engine_stop_before_start_is_cleared_by_run)
{
    raw_image image = image_with(2, 2);
    const QString volume = image.write();
    raw_recovery_c engine;
    engine.set_stop(3);
    run_scan(engine, volume);
    EXPECT_EQ(engine.get_stop(), 0);
    EXPECT_EQ(engine.found_files.size(), 4);
    EXPECT_EQ(engine.get_progress(), 1.0);
}

TEST(sc_library, configuration_file_enables_types_and_limits_sizes)
{
    config_guard guard;
    raw_image image = image_with(2, 2);
    const QString volume = image.write();
    const std::uint64_t small_jpeg = std::min(image.files()[0].bytes.size(), image.files()[2].bytes.size());

    const QString conf = image.temp_path("Orvane.conf");
    QFile f(conf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "# deep scan types\n"
        "\n"
        "png off\n"
        "jpg on 3     # too small for any of the test's files\n"
        "nosuchtype on\n"
        "jpg maybe\n"
        "jpg on 12Q\n"
        "png on 1M extra\n");
    f.close();
    {
        const diagnostics_capture reported;
        EXPECT_EQ(sc_load_config(conf.toLocal8Bit().constData()), 0);
        // Each bad line by its number, through the diagnostic sink.
        for (const char* line :
             {":5: unknown type", ":6: expected on or off", ":7: bad maximum size", ":8: extra words"})
            EXPECT_NE(reported.text().find(line), std::string::npos) << line << " in " << reported.text();
    }
    raw_recovery_c engine;
    run_scan(engine, volume);
    EXPECT_TRUE(engine.found_files.isEmpty());  // png off, jpg limited to 3 bytes

    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QString("jpg on %1\n").arg(small_jpeg).toUtf8());
    f.close();
    EXPECT_EQ(sc_load_config(conf.toLocal8Bit().constData()), 0);
    run_scan(engine, volume);
    ASSERT_FALSE(engine.found_files.isEmpty());
    EXPECT_EQ(engine.type_table.value("png").size(), 2);  // types not named stay enabled
    EXPECT_LE(engine.type_table.value("jpg").size(), 1);
    for (const raw_entry_s& e : engine.found_files) {
        if (e.extension_text() == "jpg") {
            EXPECT_EQ(e.size, small_jpeg);
        }
    }

    EXPECT_EQ(sc_load_config(image.temp_path("missing.conf").toLocal8Bit().constData()), -1);
    run_scan(engine, volume);
    EXPECT_EQ(engine.found_files.size(), 4);  // built-in configuration again
}

// The names users write into their configuration files: renaming one would silently
// break their lines.
TEST(sc_library, type_names_of_the_configuration_file)
{
    const std::vector<std::string> expected{"jpg",  "png", "gif", "bmp", "pdf", "zip", "gz",   "bz2", "xz",  "sqlite",
                                            "riff", "mp4", "7z",  "elf", "exe", "tif", "ole",  "ogg", "mkv", "psd",
                                            "ico",  "ttf", "pnm", "mp3", "mpg", "rar", "flac", "xcf", "txt"};
    EXPECT_EQ(sc_type_names(), expected);
}

// An unreadable range neither ends the scan nor hides files beyond it; a file that lies
// across it cannot be checked and is dropped.
TEST(sc_library, unreadable_sectors_are_skipped)
{
    raw_image image(5);
    image.filler(2, 2);
    const std::uint64_t first = image.add("jpg", jpeg(image.generator()));
    image.filler(20, 20);
    const std::uint64_t hidden = image.add("png", png(image.generator()));
    image.filler(9000, 9000);  // past the first 4 MiB block
    const std::uint64_t last = image.add("png", png(image.generator()));
    image.filler(2, 2);
    const QString volume = image.write();
    set_unreadable_ranges(image.image_path(),
                          {{first + 4096 + 1024, first + 4096 + 1536}, {hidden + 600, hidden + 700}});
    raw_recovery_c engine;
    const diagnostics_capture reported;
    run_scan(engine, volume);
    set_unreadable_ranges(image.image_path(), {});
    std::vector<std::uint64_t> offsets;
    for (const raw_entry_s& e : engine.found_files)
        offsets.push_back(e.offset);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{first, last}));
    // Each unreadable range and the total, told through the diagnostic sink.
    const std::string ranges = QString(
                                   "deep scan: 512 unreadable bytes at offset %1 skipped\n"
                                   "deep scan: 512 unreadable bytes at offset %2 skipped\n"
                                   "deep scan: 2 unreadable sectors skipped in all\n")
                                   .arg(first + 4096 + 1024)
                                   .arg(hidden + 512)
                                   .toStdString();
    EXPECT_EQ(reported.text(), ranges);
}

TEST(sc_library, reader_functions)
{
    raw_image image(9);
    image.filler(40, 40);
    const QString volume = image.write();
    sc_file_s* h = sc_open(volume.toLocal8Bit().constData());
    ASSERT_NE(h, nullptr);
    EXPECT_LT(sc_seek(h, -1, 0), 0);
    EXPECT_LT(sc_seek(h, 0, 1), 0);
    ASSERT_EQ(sc_seek(h, 20000, 0), 0);
    QByteArray buf(8192, '\0');
    EXPECT_EQ(sc_read(h, buf.data(), 8192), 480);  // the 20480-byte volume ends
    EXPECT_EQ(buf.left(480), image.content().mid(20000));
    EXPECT_EQ(sc_read(h, buf.data(), 8192), 0);
    EXPECT_EQ(sc_close(h), 0);
    EXPECT_EQ(sc_open("/nonexistent/disk.img@p0"), nullptr);
    EXPECT_EQ(sc_open(nullptr), nullptr);
}

// Files far larger than the scan's block whose walks step forward in small steps: JPEG
// entropy data with a stuffed FF 00 every few hundred bytes, PNG chunks checked by their
// CRCs. The scan reads the volume about once, not a window per step.
TEST(sc_library, large_files_are_read_from_the_device_about_once)
{
    rng g(5);
    struct case_s {
        const char* extension;
        QByteArray bytes;
    };
    const case_s cases[] = {{"jpg", jpeg(g, 12 << 20)}, {"png", png(g, 8 << 20)}};
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.extension);
        QByteArray volume = random_bytes(g, 4096) + c.bytes;
        volume.append(random_bytes(g, 8192 + static_cast<int>((512 - volume.size() % 512) % 512)));
        auto count = std::make_shared<std::uint64_t>(0);
        const QString name = QString("mem:counted-%1").arg(c.extension);
        register_device(name, [data = bytes_of(volume), count](device_access) {
            return std::make_unique<counting_device>(data, count);
        });
        collector_s found;
        sc_context_s context;
        context.user = &found;
        context.callback = collect;
        found.context = &context;
        EXPECT_EQ(sc_scan(&context, name.toLocal8Bit().constData()), 0);
        unregister_device(name);
        ASSERT_EQ(found.reports.size(), 1u);
        EXPECT_EQ(found.reports[0].extension, c.extension);
        EXPECT_EQ(found.reports[0].size, static_cast<std::uint64_t>(c.bytes.size()));
        EXPECT_LE(*count, 2 * static_cast<std::uint64_t>(volume.size()));
    }
}

// The reader's buffer against the bytes themselves: views forward in small and large
// steps, back to earlier places and past the scan's block all see the right bytes, and
// stepping forward reads each byte from the device about once.
TEST(sc_library, carve_reader_views_match_the_device)
{
    rng g(8);
    const QByteArray data = random_bytes(g, 3 << 20);
    auto count = std::make_shared<std::uint64_t>(0);
    counting_device dev(bytes_of(data), count);
    const std::uint64_t base = 1000, limit = static_cast<std::uint64_t>(data.size()) - base;
    const QByteArray block = data.mid(0, 200000);
    carve_reader r(dev, base, limit, nullptr,
                   std::span(reinterpret_cast<const std::uint8_t*>(block.constData()), block.size()), 0);
    const auto check = [&](std::uint64_t off, std::size_t n) {
        const std::span<const std::uint8_t> s = r.view(off, n);
        const std::size_t expect = static_cast<std::size_t>(
            std::min<std::uint64_t>({n, carve_reader::window_bytes, off < limit ? limit - off : 0}));
        ASSERT_EQ(s.size(), expect) << "view at " << off;
        ASSERT_TRUE(
            std::equal(s.begin(), s.end(), reinterpret_cast<const std::uint8_t*>(data.constData()) + base + off))
            << "view at " << off;
    };
    std::uint64_t off = 0;
    while (off < limit) {
        check(off, carve_reader::window_bytes);
        off += 1 + g() % 700;
    }
    EXPECT_LE(*count, static_cast<std::uint64_t>(data.size()) - block.size() + carve_reader::window_bytes);
    for (int i = 0; i < 2000; ++i)
        check(g() % (limit + 100), 1 + g() % (2 * carve_reader::window_bytes));
}

// A scan cut into parts, each scanned on its own thread, reports exactly what one pass
// reports, in the same order: every format, with text among them, and a zip that holds a
// photo on a sector boundary, which a part starting inside the zip finds on its own and
// must not report. Cuts fall inside files for most part counts.
TEST(sc_library, a_scan_in_parts_reports_what_one_pass_reports)
{
    raw_image image(19);
    image.filler(1, 3);
    std::vector<zip_entry_s> entries{{"a.bin", random_bytes(image.generator(), 150000), false, false},
                                     {"photo.jpg", jpeg(image.generator(), 60000), false, false}};
    const qsizetype at = zip_data_offset(entries, 1);
    entries[0].data.append(random_bytes(image.generator(), static_cast<int>((512 - at % 512) % 512)));
    const std::uint64_t zip_at = image.add("zip", zip(entries));
    const std::uint64_t photo_at = zip_at + static_cast<std::uint64_t>(zip_data_offset(entries, 1));
    image.filler(0, 2);
    for (const fixture_s& f : all_formats(image.generator())) {
        image.add(f.extension, f.bytes);
        image.filler(0, 3);
    }
    const QString volume = image.write();
    const std::uint64_t sectors = static_cast<std::uint64_t>(image.content().size() + 511) / 512;

    const auto scan = [&](int parts) {
        collector_s c;
        sc_context_s ctx;
        ctx.user = &c;
        ctx.callback = collect;
        const std::unique_ptr<block_device> dev = open_volume(volume);
        EXPECT_TRUE(dev && dev->concurrent_reads());
        EXPECT_EQ(sc_scan_in_parts(&ctx, *dev, parts), 0);
        EXPECT_EQ(ctx.progress, 1.0);
        std::string out;
        for (const report_s& r : c.reports)
            out += r.extension + " " + std::to_string(r.offset) + " " + std::to_string(r.size) + "\n";
        return out;
    };
    std::string expected;
    for (const laid_file_s& f : image.files())
        expected +=
            f.extension.toStdString() + " " + std::to_string(f.offset) + " " + std::to_string(f.bytes.size()) + "\n";
    ASSERT_EQ(scan(1), expected);
    bool cut_before_photo = false;
    for (const int parts : {2, 3, 4, 5, 6, 7, 8, 11, 16, 40}) {
        SCOPED_TRACE(parts);
        EXPECT_EQ(scan(parts), expected);
        for (int i = 1; i < parts; ++i) {
            const std::uint64_t cut = sectors * static_cast<std::uint64_t>(i) / static_cast<std::uint64_t>(parts) * 512;
            cut_before_photo |= cut > zip_at && cut <= photo_at;
        }
    }
    EXPECT_TRUE(cut_before_photo) << "no part starts inside the zip before its photo";
}
