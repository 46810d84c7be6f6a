// The carved formats: an image that holds one file of each, random data, files cut short,
// and hostile bytes.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <iostream>

#include <gtest/gtest.h>

#include "disk/device_registry.h"
#include "tests/support/raw_image.h"
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

// Whether the carver knows the type yet; writers of types it does not know are left out.
bool sc_type_names_contain(const char* extension)
{
    for (const std::string& n : sc_type_names()) {
        if (n == extension)
            return true;
    }
    return false;
}

// One line per file, "extension offset size", for readable comparisons.
std::string reported(const raw_recovery_c& engine)
{
    std::string out;
    for (const raw_entry_s& e : engine.found_files)
        out += e.extension_text().toStdString() + " " + std::to_string(e.offset) + " " + std::to_string(e.size) + "\n";
    return out;
}

std::string expected(const std::vector<laid_file_s>& files)
{
    std::string out;
    for (const laid_file_s& f : files)
        out += f.extension.toStdString() + " " + std::to_string(f.offset) + " " + std::to_string(f.bytes.size()) + "\n";
    return out;
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
    ASSERT_EQ(reported(engine), expected(files));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QString out = image.temp_path(QString("rec%1").arg(i));
        ASSERT_EQ(engine.recover_item(i, out), 0);
        EXPECT_TRUE(read_file(out) == files[i].bytes) << files[i].extension.toStdString();
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
            const int keep = 4 + static_cast<int>(g() % 13);  // the header and a few bytes: not the whole structure
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

// Files written by the system's own archivers and database, where installed: the carver
// must agree with real writers, not only with the test's own fixtures. zip reading from a
// pipe writes data descriptors, as streaming writers do.
TEST(signatures, files_from_real_writers)
{
    raw_image image(31);
    const QString dir = image.temp_path("");
    QFile text(image.temp_path("words.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3000; ++i)
        text.write(QByteArray::number(static_cast<qulonglong>(image.generator()())) + " sector cluster volume\n");
    text.close();
    QFile photo(image.temp_path("photo.jpg"));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.write(jpeg(image.generator()));
    photo.close();

    struct writer_s {
        const char* extension;
        const char* tool;
        const char* command;  // run by sh in the temporary folder; writes "out"
    };
    const writer_s writers[] = {
        {"gz", "gzip", "gzip -9 -c words.txt > out"},
        {"bz2", "bzip2", "bzip2 -c words.txt > out"},
        {"xz", "xz", "xz -c words.txt > out"},
        {"zip", "zip", "zip -q out.zip words.txt photo.jpg && mv out.zip out"},
        {"zip", "zip", "zip -q -0 out.zip words.txt photo.jpg && mv out.zip out"},
        {"zip", "zip", "zip -q - words.txt < /dev/null > out"},
        {"zip", "zip", "cat words.txt | zip -q - - > out"},
        {"elf", "cp", "cp /bin/true out"},
        {"elf", "cp", "cp /bin/ls out"},
        {"sqlite", "sqlite3",
         "sqlite3 out.db 'create table t(a, b); insert into t values(1, randomblob(9000)); "
         "insert into t values(2, randomblob(20000));' && mv out.db out"},
    };
    image.filler(1, 3);
    int made = 0;
    for (const writer_s& w : writers) {
        if (QStandardPaths::findExecutable(w.tool).isEmpty()) {
            std::cerr << w.tool << " is not installed: its case is left out\n";
            continue;
        }
        if (!sc_type_names_contain(w.extension))
            continue;
        QProcess p;
        p.setWorkingDirectory(dir);
        p.start("sh", {"-c", w.command});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << w.command << ": " << p.readAllStandardError().toStdString();
        const QByteArray out = read_file(image.temp_path("out"));
        ASSERT_FALSE(out.isEmpty()) << w.command;
        image.add(w.extension, out);
        image.filler(0, 4);
        ++made;
    }
    ASSERT_GT(made, 0);
    const QString volume = image.write();
    raw_recovery_c engine;
    run_scan(engine, volume);
    const std::vector<laid_file_s>& files = image.files();
    EXPECT_EQ(reported(engine), expected(files));
}

// Files whose structure is damaged in one place that the format's own checks cover: each
// must be dropped, wherever it lies.
TEST(signatures, damaged_structures_are_dropped)
{
    rng g(555);
    const auto flip = [](QByteArray b, qsizetype at) {
        b[at] = static_cast<char>(b[at] ^ 0x40);
        return b;
    };
    const auto put32 = [](QByteArray b, qsizetype at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(v >> (8 * i));
        return b;
    };
    const QByteArray png_file = png(g);
    const QByteArray zip_file = zip({{"a.txt", random_bytes(g, 500), false, false}, {"b.txt", "bbbb", true, false}});
    const qsizetype eocd = zip_file.size() - 22;
    const QByteArray pdf_file = pdf(g);
    const qsizetype startxref = pdf_file.lastIndexOf("startxref\n") + 10;
    QByteArray pdf_wrong_xref = pdf_file;
    pdf_wrong_xref[startxref] = pdf_wrong_xref[startxref] == '1' ? '2' : '1';
    const QByteArray gz_file = gzip(g);
    const QByteArray xz_file = xz(g);
    const QByteArray bz2_file = bzip2(g);
    const QByteArray seven = sevenzip(g);
    const QByteArray rar_file = rar(g, false);
    const QByteArray rar5_file = rar(g, true);
    const QByteArray sqlite_file = sqlite(g);
    QByteArray mkv_unknown = matroska(g, "webm");
    const qsizetype segment = mkv_unknown.indexOf("\x18\x53\x80\x67") + 4;
    mkv_unknown.replace(segment, 8, QByteArray("\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8));
    QByteArray jpeg_no_frame = jpeg(g);
    const qsizetype sof = jpeg_no_frame.indexOf("\xFF\xC0");
    jpeg_no_frame[sof + 1] = '\xE5';  // the frame header becomes an APP5 segment
    const QByteArray ogg_file = ogg(g, "\x01vorbis");

    struct case_s {
        const char* what;
        QByteArray bytes;
    };
    const case_s cases[] = {
        {"png with a data byte changed", flip(png_file, png_file.size() - 30)},
        {"zip end record counting 3 entries", put32(zip_file, eocd + 8, 0x00030003)},
        {"zip end record pointing elsewhere", put32(zip_file, eocd + 16, 7)},
        {"pdf whose startxref points at no xref", pdf_wrong_xref},
        {"gzip with a wrong CRC in its trailer", flip(gz_file, gz_file.size() - 6)},
        {"gzip with a wrong length in its trailer", flip(gz_file, gz_file.size() - 2)},
        {"xz with its index changed", flip(xz_file, xz_file.size() - 14)},
        {"xz with a block header changed", flip(xz_file, 13)},
        {"bz2 with its combined CRC changed", flip(bz2_file, bz2_file.size() - 2)},
        {"7z with its next header changed", flip(seven, seven.size() - 10)},
        {"7z with its start header changed", flip(seven, 14)},
        {"rar with a header byte changed", flip(rar_file, 7 + 20)},
        {"rar 5 with a header byte changed", flip(rar5_file, 8 + 6)},
        {"sqlite whose page count is stale", put32(sqlite_file, 92, 0x01020304)},
        {"webm with a segment of unknown size", mkv_unknown},
        {"jpeg without a frame header", jpeg_no_frame},
        {"ogg with a page changed", flip(ogg_file, ogg_file.size() - 100)},
    };
    for (const case_s& c : cases) {
        QByteArray bytes = random_bytes(g, 1024) + c.bytes;
        bytes.append(random_bytes(g, 8192));
        for (const raw_entry_s& e : scan_bytes(bytes))
            ADD_FAILURE() << c.what << ": reported " << e.extension_text().toStdString() << " at " << e.offset
                          << " size " << e.size;
    }
}

// bzip2 and xz streams are ended by their own marks, footers and indexes: data damaged
// inside a block leaves the structure whole, so the stream is reported at its full length
// for the user to salvage what decodes.
TEST(signatures, compressed_streams_damaged_inside_are_reported_whole)
{
    raw_fixtures::rng g(23);
    const auto flip = [](QByteArray b, qsizetype at) {
        b[at] = static_cast<char>(b[at] ^ 0x40);
        return b;
    };
    const QByteArray xz_file = xz(g);
    const QByteArray bz2_file = bzip2(g);
    for (const QByteArray& damaged : {flip(xz_file, xz_file.size() / 2), flip(bz2_file, bz2_file.size() / 2)}) {
        const QByteArray bytes = random_bytes(g, 1024) + damaged + random_bytes(g, 8192);
        const std::vector<raw_entry_s> found = scan_bytes(bytes);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].offset, 1024u);
        EXPECT_EQ(found[0].size, static_cast<std::uint64_t>(damaged.size()));
    }
}

// A zip entry written with a data descriptor ends at a descriptor whose size field matches
// and behind which the archive goes on; a descriptor without its signature is reached by
// decoding the data instead. An archive whose descriptors are found so is reported whole even
// when its compressed data is damaged; a descriptor whose size is wrong drops the archive.
TEST(signatures, zip_entries_with_data_descriptors)
{
    rng g(71);
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += QByteArray::number(static_cast<qulonglong>(g() % 100000)) + " cluster sector volume\n";
    const QByteArray noise = random_bytes(g, 3000);
    const auto entries = [&](bool signature) {
        return std::vector<zip_entry_s>{{"a.txt", text, true, true, signature},
                                        {"b.bin", noise, true, true, signature},
                                        {"c.txt", "ccc", false, false}};
    };
    const QByteArray with_signatures = zip(entries(true));
    const QByteArray without_signatures = zip(entries(false));
    // The first entry's descriptor and its compressed-size field.
    const qsizetype descriptor = zip_data_offset(entries(true), 1) - 30 - 5 - 16;
    ASSERT_EQ(with_signatures.mid(descriptor, 4), QByteArray("PK\x07\x08"));
    const auto changed = [](QByteArray b, qsizetype at) {
        b[at] = static_cast<char>(b[at] ^ 0x40);
        return b;
    };
    struct case_s {
        const char* what;
        QByteArray bytes;
        bool whole;  // reported at its full length; otherwise not at all
    } cases[] = {
        {"descriptors with their signatures", with_signatures, true},
        {"descriptors without signatures", without_signatures, true},
        {"deflate data damaged, descriptors signed", changed(with_signatures, 35 + 100), true},
        {"a signed descriptor with a wrong size", changed(with_signatures, descriptor + 8), false},
        {"a descriptor without signature with a wrong size", changed(without_signatures, descriptor + 4), false},
    };
    for (const case_s& c : cases) {
        const QByteArray bytes = random_bytes(g, 1024) + c.bytes + random_bytes(g, 8192);
        const std::vector<raw_entry_s> found = scan_bytes(bytes);
        if (!c.whole) {
            EXPECT_TRUE(found.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << c.what;
        EXPECT_EQ(found[0].offset, 1024u) << c.what;
        EXPECT_EQ(found[0].size, static_cast<std::uint64_t>(c.bytes.size())) << c.what;
    }
}

// A volume that is a partition of a disk image: offsets count from the partition's start,
// and recovery reads the partition, not the disk.
TEST(signatures, files_in_a_partition_of_an_image)
{
    raw_image image(61);
    const QByteArray mbr_gap(2048 * 512, '\0');
    image.append(mbr_gap);
    image.filler(4, 4);
    const QByteArray photo = jpeg(image.generator());
    const std::uint64_t at = image.add("jpg", photo);
    image.filler(8, 8);
    image.write();
    const std::uint64_t sectors = static_cast<std::uint64_t>(image.content().size()) / 512 - 2048;
    QByteArray mbr(512, '\0');
    mbr[446 + 4] = '\x83';
    for (int i = 0; i < 4; ++i) {
        mbr[446 + 8 + i] = static_cast<char>((2048u >> (8 * i)) & 0xFF);
        mbr[446 + 12 + i] = static_cast<char>((sectors >> (8 * i)) & 0xFF);
    }
    mbr[510] = '\x55';
    mbr[511] = '\xAA';
    QFile f(image.image_path());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(mbr);
    f.close();

    raw_recovery_c engine;
    run_scan(engine, image.image_path() + "@p1");
    ASSERT_EQ(engine.found_files.size(), 1);
    EXPECT_EQ(engine.found_files[0].offset, at - 2048 * 512);
    EXPECT_EQ(engine.found_files[0].size, static_cast<std::uint64_t>(photo.size()));
    const QString out = image.temp_path("photo.jpg");
    ASSERT_EQ(engine.recover_item(0, out), 0);
    EXPECT_TRUE(read_file(out) == photo);
}

// Photos as cameras and phones store them: a JPEG written by convert with a Multi-Picture
// index that places more JPEGs (a preview, a gain map) behind its EOI, in either byte
// order, or with an XMP container directory that lists a gain map and a video stored
// behind it. The file ends behind the last of them; an index that is damaged or names an
// item that is not whole where it says keeps the end at the first image's EOI.
TEST(signatures, jpeg_with_more_pictures_behind_it)
{
    raw_image image(81);
    const auto convert = [&](const QString& name, const QStringList& args) {
        QProcess p;
        p.start("convert", QStringList(args) << image.temp_path(name));
        EXPECT_TRUE(p.waitForFinished(60000)) << "convert (ImageMagick, installed by tools/setup.sh) did not run";
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return read_file(image.temp_path(name));
    };
    const QStringList noisy{"-seed",  "5",        "plasma:fractal", "-attenuate", "0.5",
                            "+noise", "Gaussian", "-quality",       "92"};
    const QByteArray photo = convert("photo.jpg", QStringList{"-size", "480x320"} + noisy);
    const QByteArray preview = convert("preview.jpg", QStringList{"-size", "240x160"} + noisy);
    const QByteArray gain = convert("gain.jpg", {"-size", "120x80", "gradient:", "-colorspace", "Gray"});
    ASSERT_FALSE(photo.isEmpty() || preview.isEmpty() || gain.isEmpty());

    const QByteArray one = jpeg_multi_picture(photo, {preview}, false);
    const QByteArray two = jpeg_multi_picture(photo, {preview, gain}, true);
    const auto first_end = static_cast<qsizetype>(one.size() - preview.size());
    const qsizetype header = one.indexOf(QByteArray("MPF\0", 4)) + 4;  // offsets count from here
    const qsizetype entries = header + 50;                             // as jpeg_multi_picture lays them out
    const auto put32 = [](QByteArray b, qsizetype at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(v >> (8 * i));
        return b;
    };
    const std::uint32_t preview_offset = static_cast<std::uint32_t>(first_end - header);
    struct case_s {
        const char* what;
        QByteArray bytes;
        qsizetype size;
    };
    // A phone's motion photo with an HDR gain map: both listed in the XMP container.
    const QByteArray video = mp4(image.generator(), "mp42");
    const QByteArray motion = jpeg_container(photo, 16, {{"image/jpeg", gain}, {"video/mp4", video}});
    const qsizetype motion_first_end = motion.size() - 16 - gain.size() - video.size();
    const QByteArray gain_length = "Item:Length=\"" + QByteArray::number(gain.size());
    QByteArray gain_off = gain_length;
    gain_off[gain_off.size() - 1] = gain_off.back() == '0' ? '1' : '0';
    const std::vector<case_s> cases{
        {"little-endian index, a preview", one, one.size()},
        {"big-endian index, a preview and a gain map", two, two.size()},
        {"preview placed past the volume", put32(one, entries + 16 + 8, 0xFFFFFF00u), first_end},
        {"preview's offset one byte past its SOI", put32(one, entries + 16 + 8, preview_offset + 1), first_end},
        {"preview's size one byte short of its EOI",
         put32(one, entries + 16 + 4, static_cast<std::uint32_t>(preview.size() - 1)), first_end},
        {"preview placed inside the first image", put32(one, entries + 16 + 8, 100), first_end},
        {"absurd number of images",
         put32(put32(one, header + 8 + 2 + 12 + 8, 0xFFFFFFFFu), header + 8 + 2 + 24 + 4, 0xFFFFFFF0u), first_end},
        {"index past its segment", put32(one, header + 4, 0xFFF0u), first_end},
        {"motion photo with a gain map, padding behind the photo", motion, motion.size()},
        {"container's gain map length one digit off", QByteArray(motion).replace(gain_length, gain_off),
         motion_first_end},
        {"container's video not of its stated type", QByteArray(motion).replace("video/mp4", "image/png"),
         motion_first_end},
        {"unknown byte order", QByteArray(one).replace(header, 4, QByteArray("XX*\0", 4)), first_end},
    };
    image.filler(1, 3);
    std::string want;
    for (const case_s& c : cases) {
        want += std::string("jpg ") + std::to_string(image.add("jpg", c.bytes)) + " " + std::to_string(c.size) + "\n";
        image.filler(1, 3);
    }
    raw_recovery_c engine;
    run_scan(engine, image.write());
    ASSERT_EQ(reported(engine), want);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString out = image.temp_path(QString("rec%1").arg(i));
        ASSERT_EQ(engine.recover_item(i, out), 0);
        EXPECT_TRUE(read_file(out) == cases[i].bytes.left(cases[i].size)) << cases[i].what;
    }
}

// Files as GIMP 2.10 writes them (tests/recovery/signatures/files/make.sh): 64-bit pointers, RLE
// and zlib tiles, a layer group, masks, channels, and the placeholder levels whose empty
// tile lists end in a 32-bit zero. Each is found whole between random data.
TEST(signatures, gimp_files_are_found_whole)
{
    const QStringList names = QDir(VANTREL_SIGNATURE_FILES).entryList({"*.xcf"}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 2);
    raw_image image(71);
    image.filler(1, 3);
    for (const QString& name : names) {
        const QByteArray bytes = read_file(QString(VANTREL_SIGNATURE_FILES) + "/" + name);
        ASSERT_FALSE(bytes.isEmpty()) << name.toStdString();
        image.add("xcf", bytes);
        image.filler(1, 3);
    }
    raw_recovery_c engine;
    run_scan(engine, image.write());
    EXPECT_EQ(reported(engine), expected(image.files()));
}

// Plain text between random sectors: each file is found at its sector with the length up
// to its NUL, its slack of zeros or the run of binary bytes behind it, and named by its
// look. Short texts, padding and the middle of a text whose start was not found are not
// reported.
TEST(signatures, plain_text_is_found_and_named_by_its_look)
{
    rng g(404);
    QByteArray prose;
    for (int i = 0; prose.size() < 3000; ++i)
        prose.append(QString("# Notes %1\n\nCafé crème, naïve façade — 日本語のテキスト, line %1.\n").arg(i).toUtf8());
    QByteArray long_letter;
    while (long_letter.size() < 1500)
        long_letter.append("BMW of 1975, kept in the garage, runs well on sunny days.\n");
    struct case_s {
        const char* what;
        QByteArray bytes;       // the file; what follows it is given by behind
        const char* extension;  // nullptr: not reported
        QByteArray behind = QByteArray(8, '\0');
    };
    const case_s cases[] = {
        {"script", "#!/bin/sh\n# copies the photos\nfor f in *.jpg; do\n  cp \"$f\" /backup/\ndone\n", "sh"},
        {"csv", "id,name,price\n1,apple,0.50\n2,pear,0.75\n3,\"plum\",1.20\n", "csv"},
        {"json", "{\n  \"name\": \"camera\",\n  \"sizes\": [1, 2, 3],\n  \"ok\": true\n}\n", "json"},
        {"xml", "<?xml version=\"1.0\"?>\n<catalog>\n  <book id=\"1\">Sectors</book>\n</catalog>\n", "xml"},
        {"html", "<!DOCTYPE html>\n<html><head><title>Home</title></head><body><p>Hi</p></body></html>\n", "html"},
        {"utf-8 prose over several sectors", prose, "txt"},
        {"latin-1 letters passed over",
         "The menu of the day, in French: caf\xE9 au lait, cr\xE8me br\xFBl\xE9"
         "e.\n",
         "txt"},
        {"ended by binary bytes", "Shopping list: bread, milk, eggs, apples, coffee.\n", "txt",
         QByteArray("\x01\x02\x03", 3) + random_bytes(g, 100)},
        {"too short", "hello world\n", nullptr},
        {"spaces as padding", QByteArray(700, ' '), nullptr},
        // Claimed by the bitmap header, whose structure fails; the sectors after the first
        // continue a text and start none.
        {"text whose first sector is claimed", long_letter, nullptr},
    };
    QByteArray volume = random_bytes(g, 1024);
    std::string want;
    for (const case_s& c : cases) {
        const qsizetype at = volume.size();
        volume.append(c.bytes).append(c.behind);
        volume.append(random_bytes(g, static_cast<int>(1024 - volume.size() % 512)));
        if (c.extension)
            want += std::string(c.extension) + " " + std::to_string(at) + " " + std::to_string(c.bytes.size()) + "\n";
    }
    std::string got;
    for (const raw_entry_s& e : scan_bytes(volume))
        got += e.extension_text().toStdString() + " " + std::to_string(e.offset) + " " + std::to_string(e.size) + "\n";
    EXPECT_EQ(got, want);
}
