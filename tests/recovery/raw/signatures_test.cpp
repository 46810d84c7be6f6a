// The carved formats: an image that holds one file of each, random data, files cut short,
// and hostile bytes.
#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

#include "disk/device_registry.h"
#include "raw_image.h"
#include "recovery/raw/raw_recovery.h"
#include "recovery/raw/raw_results.h"
#include "recovery/signatures/sc_library.h"

using namespace raw_fixtures;

namespace {

QByteArray md5(const QByteArray& b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Md5);
}

std::vector<raw_entry_s> scan_bytes(const QByteArray& bytes)
{
    static int counter = 0;
    const QString name = QString("mem:raw-test-%1").arg(++counter);
    auto data = std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
    register_memory_device(name, data);
    raw_recovery_c engine;
    run_scan(engine, name);
    unregister_device(name);
    return std::vector<raw_entry_s>(engine.found_files.begin(), engine.found_files.end());
}

}  // namespace

// Every file of every format is found at its exact offset with its exact size and type,
// and recover_item gives it back byte for byte; the image is not changed.
TEST(signatures, each_format_in_an_image_is_found_and_recovered)
{
    raw_image image(11);
    image.filler(1, 5);
    for (const fixture_s& f : all_formats(image.generator())) {
        image.add(f.extension, f.bytes);
        image.filler(0, 6);
    }
    const QString volume = image.write();
    const QByteArray before = md5(read_file(image.image_path()));

    raw_recovery_c engine;
    run_scan(engine, volume);
    const std::vector<laid_file_s>& files = image.files();
    ASSERT_EQ(static_cast<std::size_t>(engine.found_files.size()), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const raw_entry_s& e = engine.found_files[static_cast<qsizetype>(i)];
        SCOPED_TRACE(files[i].extension.toStdString());
        EXPECT_EQ(e.extension_text(), files[i].extension);
        EXPECT_EQ(e.offset, files[i].offset);
        EXPECT_EQ(e.size, static_cast<std::uint64_t>(files[i].bytes.size()));
        const QString out = image.temp_path(QString("rec%1").arg(i));
        ASSERT_EQ(engine.recover_item(i, out), 0);
        EXPECT_TRUE(read_file(out) == files[i].bytes);
    }
    EXPECT_EQ(md5(read_file(image.image_path())), before);
}

// A JPEG stored uncompressed in a zip, with its data on a sector boundary of the volume:
// the zip is reported, and nothing inside it.
TEST(signatures, a_file_inside_a_found_file_is_not_reported)
{
    raw_image image(21);
    image.filler(2, 2);
    const QByteArray photo = jpeg(image.generator());
    std::vector<zip_entry_s> entries{{"a.txt", random_bytes(image.generator(), 300), false, false},
                                     {"photo.jpg", photo, false, false}};
    // Pad the first entry so that the photo's data starts at a multiple of 512.
    const qsizetype at = zip_data_offset(entries, 1);
    entries[0].data.append(random_bytes(image.generator(), static_cast<int>((512 - at % 512) % 512)));
    ASSERT_EQ(zip_data_offset(entries, 1) % 512, 0);
    const QByteArray archive = zip(entries);
    const std::uint64_t offset = image.add("zip", archive);
    image.filler(2, 2);
    const QString volume = image.write();
    ASSERT_EQ(image.content().mid(static_cast<qsizetype>(offset) + zip_data_offset(entries, 1), photo.size()), photo);

    raw_recovery_c engine;
    run_scan(engine, volume);
    ASSERT_EQ(engine.found_files.size(), 1);
    EXPECT_EQ(engine.found_files[0].extension_text(), "zip");
    EXPECT_EQ(engine.found_files[0].offset, offset);
    EXPECT_EQ(engine.found_files[0].size, static_cast<std::uint64_t>(archive.size()));
}

TEST(signatures, random_data_gives_no_reports)
{
    rng g(2024);
    EXPECT_TRUE(scan_bytes(random_bytes(g, 16 << 20)).empty());
}

// Sectors that begin with a known header and go on with random bytes: each header matches,
// and each candidate must be dropped because its structure does not check out.
TEST(signatures, headers_followed_by_garbage_are_dropped)
{
    rng g(77);
    QByteArray bytes;
    for (int round = 0; round < 40; ++round) {
        for (const fixture_s& f : all_formats(g)) {
            QByteArray sector = random_bytes(g, 4096);
            const int keep = 4 + static_cast<int>(g() % 28);
            sector.replace(0, keep, f.bytes.left(keep));
            bytes.append(sector);
        }
    }
    const std::vector<raw_entry_s> found = scan_bytes(bytes);
    for (const raw_entry_s& e : found)
        ADD_FAILURE() << "reported " << e.extension_text().toStdString() << " at " << e.offset << " size " << e.size;
}

// A file cut short, at the volume's end or followed by random data, is dropped rather than
// reported with a guessed size.
TEST(signatures, truncated_files_are_dropped)
{
    rng g(99);
    for (const fixture_s& f : all_formats(g)) {
        for (const double part : {0.25, 0.5, 0.9}) {
            const QByteArray cut = f.bytes.left(static_cast<qsizetype>(f.bytes.size() * part));
            SCOPED_TRACE(f.extension.toStdString() + " cut to " + std::to_string(cut.size()));
            const QByteArray at_end = random_bytes(g, 1024) + cut;  // the volume ends with the cut
            EXPECT_TRUE(scan_bytes(at_end).empty());
            if (!f.checked_end)
                continue;
            QByteArray in_noise = random_bytes(g, 1024) + cut;
            in_noise.append(random_bytes(g, 64 * 1024));
            EXPECT_TRUE(scan_bytes(in_noise).empty());
        }
    }
}

// Hostile bytes: copies of each file with random bytes changed. The scan must end without
// a crash, and whatever it reports must lie inside the data.
TEST(signatures, damaged_files_never_report_past_the_data)
{
    rng g(4242);
    for (const fixture_s& f : all_formats(g)) {
        SCOPED_TRACE(f.extension.toStdString());
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = f.bytes;
            const int changes = 1 + static_cast<int>(g() % 8);
            for (int i = 0; i < changes; ++i) {
                const int at = 4 + static_cast<int>(g() % static_cast<unsigned>(bytes.size() - 4));
                bytes[at] = static_cast<char>(g() & 0xFF);
            }
            bytes.append(QByteArray((512 - bytes.size() % 512) % 512, '\0'));
            for (const raw_entry_s& e : scan_bytes(bytes))
                EXPECT_LE(e.offset + e.size, static_cast<std::uint64_t>(bytes.size()));
        }
    }
}
