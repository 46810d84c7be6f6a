// The deep engine: its tables, recovery of a found file, the scan-result file and the rows a
// viewer shows.
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstring>

#include <gtest/gtest.h>

#include "disk/device_registry.h"
#include "tests/support/raw_image.h"
#include "recovery/raw/raw_recovery.h"
#include "recovery/raw/raw_results.h"

using namespace raw_fixtures;

TEST(raw_engine, context_is_laid_out_as_shared_with_the_library)
{
    raw_recovery_c engine;
    auto* bytes = reinterpret_cast<const unsigned char*>(&engine.raw_scan_context);
    engine.set_pause(7);
    engine.set_stop(3);
    engine.set_progress(0.25);
    std::int32_t pause = 0, stop = 0;
    double progress = 0;
    std::memcpy(&pause, bytes + 16, 4);
    std::memcpy(&stop, bytes + 20, 4);
    std::memcpy(&progress, bytes + 8, 8);
    EXPECT_EQ(pause, 7);
    EXPECT_EQ(stop, 3);
    EXPECT_EQ(progress, 0.25);
    EXPECT_EQ(engine.get_pause(), 7);
    EXPECT_EQ(engine.get_stop(), 3);
    EXPECT_EQ(engine.get_progress(), 0.25);

    engine.raw_scan_context.user = &engine;
    engine.on_file_found("jpg", 0, 10);
    engine.reset();
    for (std::size_t i = 0; i < sizeof(sc_context_s); ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_TRUE(engine.found_files.isEmpty());
    EXPECT_TRUE(engine.type_table.isEmpty());
    EXPECT_EQ(engine.get_read_count(), 0);
    EXPECT_EQ(engine.get_found_count(), 0);
    EXPECT_STREQ(engine.metaObject()->className(), "raw_recovery_c");
}

TEST(raw_engine, found_files_are_numbered_and_grouped_by_extension)
{
    raw_recovery_c engine;
    engine.on_file_found("jpg", 1024, 100);
    engine.on_file_found("png", 4096, 200);
    engine.on_file_found("jpg", 8192, 300);
    engine.on_file_found("longext12", 9216, 5);  // the key keeps the whole text
    ASSERT_EQ(engine.found_files.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(engine.found_files[i].index, static_cast<std::uint64_t>(i));
    EXPECT_EQ(engine.type_table.value("jpg"), (QList<std::uint64_t>{0, 2}));
    EXPECT_EQ(engine.type_table.value("png"), (QList<std::uint64_t>{1}));
    EXPECT_EQ(engine.type_table.value("longext12"), (QList<std::uint64_t>{3}));
    EXPECT_EQ(engine.found_files[3].extension_text(), "longext1");

    EXPECT_EQ(raw_folders(engine), (QStringList{"jpg", "png", "longext12"}));
    const QList<recovery_item_s> jpg = raw_folder_rows(engine, "jpg");
    ASSERT_EQ(jpg.size(), 2);
    EXPECT_EQ(jpg[0].name, "00000000.jpg");
    EXPECT_EQ(jpg[1].name, "00000002.jpg");
    EXPECT_EQ(jpg[1].size, 300u);
    EXPECT_EQ(jpg[1].id, 2u);
    EXPECT_EQ(jpg[1].flags, 0u);
    EXPECT_EQ(jpg[1].date1, 0);
    EXPECT_EQ(jpg[1].date2, 0);
    EXPECT_EQ(jpg[1].checked, 0);
    EXPECT_EQ(raw_folder_rows(engine, "png").value(0).name, "00000001.png");
    EXPECT_TRUE(raw_folder_rows(engine, "gif").isEmpty());
}

TEST(raw_engine, set_volume_drops_one_final_backslash)
{
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = "/tmp/disk.img@p1";
    engine.set_volume(v);
    EXPECT_EQ(engine.device_path, "/tmp/disk.img@p1");
    v.volume_path = "dev\\";
    engine.set_volume(v);
    EXPECT_EQ(engine.device_path, "dev");
    engine.reset();
    EXPECT_EQ(engine.device_path, "dev");
}

// recover_item reads from the file's exact first byte, whether or not it starts on a
// sector boundary, and writes exactly its size.
TEST(raw_engine, recover_item_reads_from_the_exact_offset)
{
    raw_image image;
    image.filler(5200, 5200);  // room for a file copied in several pieces
    const QString volume = image.write();
    const QByteArray& content = image.content();
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = volume;
    engine.set_volume(v);
    struct case_s {
        std::uint64_t offset, size;
    } cases[] = {{1024, 700}, {1100, 700}, {0, 4096}, {513, 8192 + 17}, {3000, 1}, {1537, (5u << 19) + 3}};
    for (const case_s& c : cases) {
        engine.on_file_found("bin", c.offset, c.size);
        const std::uint64_t id = static_cast<std::uint64_t>(engine.found_files.size() - 1);
        const QString out = image.temp_path(QString("out%1").arg(id));
        ASSERT_EQ(engine.recover_item(id, out), 0) << c.offset;
        EXPECT_EQ(read_file(out), content.mid(static_cast<qsizetype>(c.offset), static_cast<qsizetype>(c.size)))
            << "offset " << c.offset;
    }
}

// A file that runs past the volume's end is a failure that leaves nothing; sectors that
// cannot be read become zeros, and the file is partial with those ranges.
TEST(raw_engine, recover_item_fails_short_files_and_zeroes_unreadable_sectors)
{
    raw_image image;
    image.filler(16, 16);
    const QString volume = image.write();
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = volume;
    engine.set_volume(v);
    engine.on_file_found("bin", 512, 1u << 20);  // claims more than the volume holds
    const QString out = image.temp_path("short");
    recover_report_s report;
    EXPECT_EQ(engine.recover_item_reported(0, out, report), recover_truncated);
    EXPECT_TRUE(report.reason.contains("ends at byte 8192")) << report.reason.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    // The volume's sectors 3 and 5..6 fail; a file from byte 1000 sees them at 536 and 1560.
    set_unreadable_ranges(image.image_path(), {{3 * 512, 4 * 512}, {5 * 512, 7 * 512}});
    engine.on_file_found("bin", 1000, 5000);
    std::atomic<std::uint64_t> bytes{0};
    recover_report_s partial;
    partial.bytes = &bytes;
    const QString part = image.temp_path("partial");
    const std::int32_t result = engine.recover_item_reported(1, part, partial);
    set_unreadable_ranges(image.image_path(), {});
    EXPECT_EQ(result, recover_partial);
    ASSERT_EQ(partial.unreadable.size(), 2u);
    EXPECT_EQ(partial.unreadable[0].first, 3 * 512 - 1000u);
    EXPECT_EQ(partial.unreadable[0].last, 4 * 512 - 1000u);
    EXPECT_EQ(partial.unreadable[1].first, 5 * 512 - 1000u);
    EXPECT_EQ(partial.unreadable[1].last, 7 * 512 - 1000u);
    EXPECT_EQ(bytes.load(), 5000u);
    QByteArray expected = image.content().mid(1000, 5000);
    for (const byte_range_s& r : partial.unreadable)
        expected.replace(qsizetype(r.first), qsizetype(r.last - r.first),
                         QByteArray(qsizetype(r.last - r.first), '\0'));
    EXPECT_EQ(read_file(part), expected);
}

TEST(raw_engine, recover_item_refuses_unknown_ids_and_unusable_sources)
{
    raw_image image;
    image.filler(2, 2);
    const QString volume = image.write();
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = volume;
    engine.set_volume(v);
    const QString out = image.temp_path("none");
    EXPECT_EQ(engine.recover_item(0, out), -1);
    EXPECT_FALSE(QFile::exists(out));
    engine.on_file_found("bin", 0, 10);
    EXPECT_EQ(engine.recover_item(1, out), -1);
    EXPECT_EQ(engine.recover_item(0x100000000ull, out), 0);  // only the low 32 bits count
    EXPECT_EQ(read_file(out), image.content().left(10));
    QFile::remove(out);
    EXPECT_EQ(engine.recover_item(0, image.temp_path("no/such/dir/file")), -1);

    v.volume_path = image.temp_path("missing.img");
    engine.set_volume(v);
    EXPECT_EQ(engine.recover_item(0, out), -1);
    EXPECT_FALSE(QFile::exists(out));
}

TEST(raw_engine, scan_result_round_trip)
{
    QTemporaryDir dir;
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = "/dev/sdz1\\";
    engine.set_volume(v);
    engine.on_file_found("jpg", 1024, 5000);
    engine.on_file_found("abcdefgh", 0x123456789ull, 0x1'0000'0001ull);  // 8 characters, no NUL
    const QString sav = dir.filePath("scan.sav");
    ASSERT_EQ(engine.write_scan_result(sav), 0);
    const QByteArray bytes = read_file(sav);
    ASSERT_EQ(bytes.size(), 320);
    EXPECT_EQ(bytes.left(10), QByteArray("/dev/sdz1\0", 10));
    EXPECT_EQ(bytes.mid(10, 246), QByteArray(246, '\0'));
    // The second record, field by field, little-endian.
    EXPECT_EQ(bytes.mid(288, 8), QByteArray("\x01\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(bytes.mid(296, 8), QByteArray("\x89\x67\x45\x23\x01\0\0\0", 8));
    EXPECT_EQ(bytes.mid(304, 8), QByteArray("\x01\0\0\0\x01\0\0\0", 8));
    EXPECT_EQ(bytes.mid(312, 8), QByteArray("abcdefgh"));
    EXPECT_EQ(bytes.mid(280, 8), QByteArray("jpg\0\0\0\0\0", 8));

    raw_recovery_c loaded;
    loaded.set_pause(1);
    EXPECT_EQ(loaded.read_scan_result(sav), "/dev/sdz1");
    EXPECT_EQ(loaded.get_pause(), 1);  // a load leaves the context as it was
    ASSERT_EQ(loaded.found_files.size(), 2);
    EXPECT_EQ(loaded.found_files[0].offset, 1024u);
    EXPECT_EQ(loaded.found_files[0].size, 5000u);
    EXPECT_EQ(loaded.found_files[1].offset, 0x123456789ull);
    EXPECT_EQ(loaded.found_files[1].size, 0x1'0000'0001ull);
    EXPECT_EQ(loaded.found_files[1].extension_text(), "abcdefgh");
    EXPECT_EQ(loaded.type_table.value("jpg"), (QList<std::uint64_t>{0}));
    EXPECT_EQ(loaded.type_table.value("abcdefgh"), (QList<std::uint64_t>{1}));
    EXPECT_EQ(raw_folder_rows(loaded, "abcdefgh").value(0).name, "00000001.abcdefgh");
}

TEST(raw_engine, write_scan_result_refusals)
{
    QTemporaryDir dir;
    raw_recovery_c engine;
    volume_item_s v;
    v.volume_path = "/dev/sdz1";
    engine.set_volume(v);
    const QString sav = dir.filePath("scan.sav");
    EXPECT_EQ(engine.write_scan_result(sav), -1);  // nothing found
    EXPECT_FALSE(QFile::exists(sav));

    engine.on_file_found("jpg", 0, 1);
    EXPECT_EQ(engine.write_scan_result(dir.filePath("no/such/dir.sav")), -1);

    v.volume_path = "/" + QString(255, 'd');  // 256 bytes: no room for the NUL
    engine.set_volume(v);
    EXPECT_EQ(engine.write_scan_result(sav), -1);
    EXPECT_FALSE(QFile::exists(sav));
    v.volume_path = "/" + QString(254, 'd');  // 255 bytes and the NUL fill the header
    engine.set_volume(v);
    ASSERT_EQ(engine.write_scan_result(sav), 0);
    raw_recovery_c loaded;
    EXPECT_EQ(loaded.read_scan_result(sav), v.volume_path);
}

TEST(raw_engine, unusable_scan_result_files_fail_and_keep_the_tables)
{
    QTemporaryDir dir;
    raw_recovery_c source;
    source.on_file_found("png", 512, 9);
    source.device_path = "/dev/sdy2";
    const QString good = dir.filePath("good.sav");
    ASSERT_EQ(source.write_scan_result(good), 0);
    const QByteArray valid = read_file(good);

    struct case_s {
        const char* what;
        QByteArray bytes;
    };
    QByteArray wrong_index = valid;
    wrong_index[256] = 5;
    QByteArray slash_ext = valid;
    slash_ext[256 + 24] = '/';
    QByteArray empty_ext = valid;
    empty_ext.replace(256 + 24, 8, QByteArray(8, '\0'));
    QByteArray junk_after_nul = valid;
    junk_after_nul[256 + 30] = 'x';
    const case_s cases[] = {
        {"header only", valid.left(256)},        {"300 bytes", valid + QByteArray(12, '\0')},
        {"short header", valid.left(100)},       {"empty", QByteArray()},
        {"index not its position", wrong_index}, {"slash in the extension", slash_ext},
        {"empty extension", empty_ext},          {"bytes behind the NUL", junk_after_nul},
    };
    raw_recovery_c engine;
    engine.on_file_found("gif", 7, 8);
    for (const case_s& c : cases) {
        const QString path = dir.filePath("bad.sav");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        EXPECT_EQ(engine.read_scan_result(path), QString()) << c.what;
        ASSERT_EQ(engine.found_files.size(), 1) << c.what;
        EXPECT_EQ(engine.found_files[0].extension_text(), "gif") << c.what;
        EXPECT_EQ(engine.type_table.keys(), QStringList{"gif"}) << c.what;
    }
    EXPECT_EQ(engine.read_scan_result(dir.filePath("missing.sav")), QString());
    EXPECT_EQ(engine.read_scan_result(good), "/dev/sdy2");
    EXPECT_EQ(engine.type_table.keys(), QStringList{"png"});
}
