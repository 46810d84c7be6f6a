// The NTFS library on images made by mkntfs and filled through ntfs-3g: the records it
// hands out, the files it writes back, the volume a device name opens, and damaged boot
// sectors, MFT records and runlists.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <tsk/libtsk.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "disk/le.h"
#include "recovery/ntfs/ntfs_library.h"
#include "recovery/ntfs/ntfs_library_record.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

// A context that is closed when the test leaves, whatever happened.
class context_c {
public:
    ~context_c() { ntfs_scan_close(data()); }
    std::uint8_t* data() { return bytes_.data(); }
    std::uint32_t open_word() const { return le32(bytes_, NTFS_CTX_Open); }
    std::int64_t total() const { return static_cast<std::int64_t>(le64(bytes_, NTFS_CTX_Total)); }
    std::uint64_t position() const
    {
        return std::uint64_t(le32(bytes_, NTFS_CTX_CounterC)) +
               8 * (std::uint64_t(le32(bytes_, NTFS_CTX_CounterA)) + le32(bytes_, NTFS_CTX_CounterB));
    }

private:
    std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(ntfs_context_bytes, 0);
};

// One record area as the library filled it.
struct scanned_s {
    std::uint64_t record = 0;
    std::uint64_t parent = 0;
    std::uint64_t size = 0;
    std::int64_t date1 = 0;
    std::int64_t date2 = 0;
    std::uint32_t flags = 0;
    QString name;
};

scanned_s decode(const std::vector<std::uint8_t>& area)
{
    scanned_s s;
    s.record = le64(area, NTFS_REC_Record);
    s.parent = le64(area, NTFS_REC_Parent);
    s.size = le64(area, NTFS_REC_Size);
    s.date2 = static_cast<std::int64_t>(le64(area, NTFS_REC_Date2));
    s.date1 = static_cast<std::int64_t>(le64(area, NTFS_REC_Date1));
    s.flags = le32(area, NTFS_REC_Flags);
    std::u16string name;
    std::size_t i = 0;
    for (; i < ntfs_name_chars && le16(area, NTFS_REC_Name + 2 * i) != 0; ++i)
        name.push_back(static_cast<char16_t>(le16(area, NTFS_REC_Name + 2 * i)));
    EXPECT_LT(i, ntfs_name_chars) << "the name of record " << s.record << " has no closing NUL";
    s.name = QString::fromStdU16String(name);
    return s;
}

// Every record the library hands out, in the order it hands them out.
std::vector<scanned_s> scan_all(context_c& ctx)
{
    std::vector<scanned_s> out;
    std::vector<std::uint8_t> area(ntfs_record_bytes);
    for (int guard = 0; guard < 1000000; ++guard) {
        std::fill(area.begin(), area.end(), 0);
        if (ntfs_scan_next(ctx.data(), area.data()) == 0)
            return out;
        out.push_back(decode(area));
    }
    ADD_FAILURE() << "ntfs_scan_next did not come to an end";
    return out;
}

std::map<std::uint64_t, scanned_s> by_record(const std::vector<scanned_s>& list)
{
    std::map<std::uint64_t, scanned_s> m;
    for (const scanned_s& s : list)
        m[s.record] = s;
    return m;
}

QByteArray md5_of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// What the fixture made: a file or folder with its record, parent, times and content.
struct made_s {
    QString what;  // how the test names it in messages
    QString name;
    std::uint64_t record = 0;
    std::uint64_t parent = 0;
    std::uint32_t flags = 0;
    QByteArray bytes;  // the content, for files
    std::int64_t created = 0;
    std::int64_t modified = 0;
};

constexpr std::uint32_t deleted_file = ntfs_flag_file | ntfs_flag_deleted;
constexpr std::uint32_t deleted_folder = ntfs_flag_folder | ntfs_flag_deleted;
constexpr std::uint64_t root_record = 5;

const QString unicode_name = QString::fromUtf8("Ünïcödé файл 日本 😀.txt");
const QString longest_name = QString(251, QChar('n')) + ".txt";  // NTFS allows 255 characters

// One image for the tests that only read it: files and folders of every kind, deleted at
// the end (so that no later file takes over a deleted one's record), with fixed times.
struct main_image_s {
    QTemporaryDir dir;
    ntfs_image_s image;
    std::map<QString, made_s> made;
    QString error;
};

main_image_s* build_main_image()
{
    auto* m = new main_image_s;
    try {
        m->image = make_ntfs_image(m->dir.path(), "main.img", {32, 0, true}, [m](const QString& root) {
            std::int64_t clock = 1300000000;  // 2011-03-13, then one day further for each item
            QStringList doomed;
            auto add = [&](const QString& what, const QString& path, std::uint64_t record, std::uint64_t parent,
                           std::uint32_t flags, const QByteArray& bytes) {
                made_s x{what, QFileInfo(path).fileName(), record, parent, flags, bytes, clock, clock + 3600};
                clock += 86400;
                set_ntfs_times(path, x.created, x.modified);
                m->made[what] = x;
                if (flags == deleted_file)
                    doomed << path;
            };
            auto file = [&](const QString& what, const QString& path, std::uint64_t parent, std::uint32_t flags,
                            const QByteArray& bytes) {
                add(what, path, write_file(path, bytes), parent, flags, bytes);
            };

            const std::uint64_t frag = make_folder(root + "/frag");
            const QByteArray frag_bytes = random_bytes(240 * 1024, 7);
            add("fragmented", root + "/frag/big.bin",
                write_interleaved(root + "/frag/big.bin", frag_bytes, root + "/frag/filler.bin", 8192, 4096), frag,
                deleted_file, frag_bytes);

            // So many fragments that the attributes no longer fit in the file's own record:
            // some move to extension records that an $ATTRIBUTE_LIST names. The file stays,
            // since ntfs-3g empties the extension records of a file it deletes.
            const QByteArray listed_bytes = random_bytes(4 << 20, 14);
            add("fragmented into extension records", root + "/frag/listed.bin",
                write_interleaved(root + "/frag/listed.bin", listed_bytes, root + "/frag/filler2.bin", 4096, 4096),
                frag, ntfs_flag_file, listed_bytes);

            const std::uint64_t live = make_folder(root + "/live");
            file("resident", root + "/live/resident.txt", live, deleted_file, text_bytes(300, 1));
            file("non-resident", root + "/live/photo.jpg", live, deleted_file, random_bytes(100000, 2));
            file("live file", root + "/live/keep.txt", live, ntfs_flag_file, text_bytes(500, 3));
            file("non-ASCII name", root + "/live/" + unicode_name, live, deleted_file, random_bytes(5000, 4));
            // A DOS name turns the long name into a Win32 one; the live file keeps both names.
            file("long and DOS name", root + "/live/Long file name.txt", live, ntfs_flag_file, text_bytes(2000, 5));
            set_dos_name(root + "/live/Long file name.txt", "LONGFI~1.TXT");
            file("deleted, had a DOS name", root + "/live/Another long name.txt", live, deleted_file,
                 text_bytes(2100, 13));
            set_dos_name(root + "/live/Another long name.txt", "ANOTHE~1.TXT");
            file("empty", root + "/live/empty.dat", live, deleted_file, {});
            // The file's content is its unnamed stream; a named one is other data.
            file("with a named stream", root + "/live/streams.txt", live, deleted_file, text_bytes(1000, 15));
            add_named_stream(root + "/live/streams.txt", "note", random_bytes(3000, 16));
            file("longest name", root + "/live/" + longest_name, live, deleted_file, text_bytes(100, 6));

            QByteArray sparse_bytes;
            add("sparse", root + "/live/sparse.bin",
                write_sparse(root + "/live/sparse.bin", 3 << 20,
                             {{1 << 20, random_bytes(10000, 17)}, {(2 << 20) + 5000, text_bytes(700, 18)}},
                             &sparse_bytes),
                live, deleted_file, sparse_bytes);

            const std::uint64_t gone = make_folder(root + "/gone");
            file("in a deleted folder", root + "/gone/inner.bin", gone, deleted_file, random_bytes(20000, 8));
            const std::uint64_t sub = make_folder(root + "/gone/sub");
            file("two deleted folders down", root + "/gone/sub/deep.txt", sub, deleted_file, text_bytes(600, 9));

            const std::uint64_t packed = make_folder(root + "/packed");
            set_compressed(root + "/packed");
            file("compressed", root + "/packed/text.txt", packed, deleted_file, text_bytes(300000, 10));
            file("compressed, partly incompressible", root + "/packed/mixed.bin", packed, deleted_file,
                 random_bytes(70000, 11) + text_bytes(90000, 12));

            // Deletions last. A folder's times are set once it is empty, since removing its
            // entries changes them; the folder itself is removed after that.
            for (const QString& path : doomed)
                if (!QFile::remove(path))
                    throw std::runtime_error(("cannot delete " + path).toStdString());
            add("deleted folder, two down", root + "/gone/sub", sub, gone, deleted_folder, {});
            add("deleted folder", root + "/gone", gone, root_record, deleted_folder, {});
            if (!QDir().rmdir(root + "/gone/sub") || !QDir().rmdir(root + "/gone"))
                throw std::runtime_error("cannot remove the folder gone");
            add("live folder", root + "/live", live, root_record, ntfs_flag_folder, {});
        });
    } catch (const std::exception& e) {
        m->error = QString::fromLocal8Bit(e.what());
    }
    return m;
}

// Built once per test program; every test that uses it fails when it could not be made.
const main_image_s& main_image()
{
    static const std::unique_ptr<main_image_s> m(build_main_image());
    return *m;
}

// Makes the images the drives, as the volume list numbers them, for the test's duration.
class drives_c {
public:
    explicit drives_c(const QStringList& images)
    {
        qputenv("VANTREL_IMAGES_ONLY", "1");
        set_drive_images(images);
    }
    ~drives_c()
    {
        set_drive_images({});
        qunsetenv("VANTREL_IMAGES_ONLY");
    }
};

// The unnamed $DATA attribute of a record as TSK sees it, to check that a fixture file is
// stored the way the test means it to be.
struct data_facts_s {
    bool found = false;
    bool resident = false;
    bool compressed = false;
    int runs = 0;
    std::uint64_t first_byte = 0;  // where the first run starts, as a byte offset in the image
    int file_names = 0;            // $FILE_NAME attributes of the record
    bool has_attribute_list = false;
    int named_streams = 0;
    int sparse_runs = 0;
};

data_facts_s data_facts(const ntfs_image_s& image, std::uint64_t record)
{
    data_facts_s facts;
    TSK_IMG_INFO* img = tsk_img_open_utf8_sing(QFile::encodeName(image.path).constData(), TSK_IMG_TYPE_RAW, 512);
    TSK_FS_INFO* fs = img ? tsk_fs_open_img(img, static_cast<TSK_OFF_T>(image.offset), TSK_FS_TYPE_NTFS) : nullptr;
    TSK_FS_FILE* file = fs ? tsk_fs_file_open_meta(fs, nullptr, record) : nullptr;
    const TSK_FS_ATTR* a = file ? tsk_fs_file_attr_get_type(file, TSK_FS_ATTR_TYPE_NTFS_DATA, 0, 0) : nullptr;
    if (a) {
        facts.found = true;
        facts.resident = (a->flags & TSK_FS_ATTR_RES) != 0;
        facts.compressed = (a->flags & TSK_FS_ATTR_COMP) != 0;
        for (const TSK_FS_ATTR_RUN* run = a->nrd.run; run && !facts.resident; run = run->next) {
            ++facts.runs;
            if (run->flags & TSK_FS_ATTR_RUN_FLAG_SPARSE)
                ++facts.sparse_runs;
        }
        if (!facts.resident && a->nrd.run)
            facts.first_byte = image.offset + a->nrd.run->addr * fs->block_size;
    }
    for (int i = 0; file && i < tsk_fs_file_attr_getsize(file); ++i) {
        const TSK_FS_ATTR* attr = tsk_fs_file_attr_get_idx(file, i);
        if (attr->type == TSK_FS_ATTR_TYPE_NTFS_FNAME)
            ++facts.file_names;
        else if (attr->type == TSK_FS_ATTR_TYPE_NTFS_ATTRLIST)
            facts.has_attribute_list = true;
        else if (attr->type == TSK_FS_ATTR_TYPE_NTFS_DATA && attr->name && attr->name[0])
            ++facts.named_streams;
    }
    if (file)
        tsk_fs_file_close(file);
    if (fs)
        tsk_fs_close(fs);
    if (img)
        tsk_img_close(img);
    return facts;
}

QByteArray file_bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(ntfs_library, hands_out_files_and_folders_with_their_record_parent_name_size_times_and_flags)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    drives_c drives({m.image.path});
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    EXPECT_NE(ctx.open_word(), 0u);
    const std::map<std::uint64_t, scanned_s> found = by_record(scan_all(ctx));

    for (const auto& [what, x] : m.made) {
        SCOPED_TRACE(what.toStdString());
        const auto it = found.find(x.record);
        ASSERT_NE(it, found.end()) << "record " << x.record << " was not handed out";
        const scanned_s& s = it->second;
        EXPECT_EQ(s.name, x.name);
        EXPECT_EQ(s.parent, x.parent);
        EXPECT_EQ(s.flags, x.flags);
        EXPECT_EQ(s.size, x.flags & ntfs_flag_folder ? 0u : std::uint64_t(x.bytes.size()));
        EXPECT_EQ(s.date1, x.modified);
        EXPECT_EQ(s.date2, x.created);
    }
    // Each name once: an extension record, which holds attributes of another record, is
    // no file of its own even when it holds a $FILE_NAME.
    for (const auto& [what, x] : m.made) {
        SCOPED_TRACE(what.toStdString());
        EXPECT_EQ(std::count_if(found.begin(), found.end(), [&](const auto& f) { return f.second.name == x.name; }), 1);
    }
    // The root folder names itself as its parent.
    ASSERT_TRUE(found.count(root_record));
    EXPECT_EQ(found.at(root_record).parent, root_record);
    EXPECT_EQ(found.at(root_record).flags, ntfs_flag_folder);
    EXPECT_EQ(found.at(root_record).name, ".");
}

TEST(ntfs_library, fixture_files_are_stored_resident_non_resident_fragmented_compressed_and_with_a_dos_name)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    const data_facts_s resident = data_facts(m.image, m.made.at("resident").record);
    EXPECT_TRUE(resident.found && resident.resident);
    const data_facts_s non_resident = data_facts(m.image, m.made.at("non-resident").record);
    EXPECT_TRUE(non_resident.found && !non_resident.resident && !non_resident.compressed);
    EXPECT_EQ(data_facts(m.image, m.made.at("long and DOS name").record).file_names, 2) << "no DOS name was made";
    EXPECT_EQ(data_facts(m.image, m.made.at("with a named stream").record).named_streams, 1);
    EXPECT_GE(data_facts(m.image, m.made.at("sparse").record).sparse_runs, 2);
    const data_facts_s fragmented = data_facts(m.image, m.made.at("fragmented").record);
    EXPECT_GT(fragmented.runs, 10) << "the interleaved writes did not fragment the file";
    const data_facts_s listed = data_facts(m.image, m.made.at("fragmented into extension records").record);
    EXPECT_TRUE(listed.has_attribute_list) << "no extension records were needed for " << listed.runs << " runs";
    for (const char* what : {"compressed", "compressed, partly incompressible"}) {
        const data_facts_s compressed = data_facts(m.image, m.made.at(what).record);
        EXPECT_TRUE(compressed.found && compressed.compressed) << what;
    }
}

TEST(ntfs_library, undelete_writes_the_bytes_that_were_written_before_deletion)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    drives_c drives({m.image.path});
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    for (const auto& [what, x] : m.made) {
        if (!(x.flags & ntfs_flag_file))
            continue;
        SCOPED_TRACE(what.toStdString());
        const QString path = out.filePath(QString::number(x.record));
        // A file already there is replaced.
        write_at(path, 0, "stale bytes that must not survive the undelete, whatever its size is");
        std::uint32_t unused = 0;
        ASSERT_EQ(ntfs_undelete(ctx.data(), x.record, QFile::encodeName(path).constData(), &unused), 0);
        const QByteArray written = file_bytes(path);
        EXPECT_EQ(written.size(), x.bytes.size());
        EXPECT_EQ(md5_of(written), md5_of(x.bytes));
    }
}

TEST(ntfs_library, records_come_in_number_order_and_the_progress_reaches_the_total)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    drives_c drives({m.image.path});
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    const std::int64_t total = ctx.total();
    // The $MFT holds at least the 16 system records and ours.
    EXPECT_GE(total, 16 + std::int64_t(m.made.size()));
    EXPECT_EQ(ctx.position(), 0u);

    std::vector<std::uint8_t> area(ntfs_record_bytes, 0);
    std::uint64_t last_position = 0;
    std::vector<std::uint64_t> records;
    while (ntfs_scan_next(ctx.data(), area.data()) != 0) {
        records.push_back(decode(area).record);
        EXPECT_GT(ctx.position(), last_position);
        EXPECT_LE(ctx.position(), std::uint64_t(total));
        // The record just handed out has been looked at.
        EXPECT_GT(ctx.position(), records.back());
        last_position = ctx.position();
        std::fill(area.begin(), area.end(), 0);
        ASSERT_LT(records.size(), 100000u);
    }
    EXPECT_EQ(ctx.position(), std::uint64_t(total));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front(), 0u);  // $MFT
    for (std::size_t i = 1; i < records.size(); ++i)
        EXPECT_LT(records[i - 1], records[i]);
    // The end stays the end.
    EXPECT_EQ(ntfs_scan_next(ctx.data(), area.data()), 0);
    EXPECT_EQ(ctx.total(), total);
}

TEST(ntfs_library, scan_and_undelete_leave_the_image_unchanged)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    const QByteArray before = file_md5(m.image.path);
    drives_c drives({m.image.path});
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    {
        context_c ctx;
        ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
        for (const scanned_s& s : scan_all(ctx))
            ntfs_undelete(ctx.data(), s.record, QFile::encodeName(out.filePath(QString::number(s.record))).constData(),
                          nullptr);
    }
    EXPECT_EQ(file_md5(m.image.path), before);
}

TEST(ntfs_library, device_name_opens_the_volume_with_that_disk_and_partition_number)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::uint64_t marker = 0;
    const ntfs_image_s second = make_ntfs_image(dir.path(), "second.img", {16, 2, false}, [&](const QString& root) {
        marker = write_file(root + "/marker.txt", text_bytes(1000, 20));
        QFile::remove(root + "/marker.txt");
    });
    ASSERT_EQ(second.volume_path, second.path + "@p2");
    drives_c drives({m.image.path, second.path});

    struct case_s {
        const char* name;
        std::int32_t result;
    };
    const case_s cases[] = {
        {"/dev/hdb2", 0},
        {"/dev/hda0", 0},
        {"/dev/hdb1", ntfs_startup_not_ntfs},   // a partition without a file system
        {"/dev/hdb3", ntfs_startup_no_volume},  // no such partition
        {"/dev/hdb0", ntfs_startup_no_volume},  // the disk has a partition table
        {"/dev/hda1", ntfs_startup_no_volume},  // the whole image is partition 0
        {"/dev/hdc1", ntfs_startup_no_volume},  // no third disk
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        context_c ctx;
        EXPECT_EQ(ntfs_scan_startup(c.name, ctx.data()), c.result);
        EXPECT_EQ(ctx.open_word() != 0, c.result == 0);
    }

    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hdb2", ctx.data()), 0);
    const std::map<std::uint64_t, scanned_s> found = by_record(scan_all(ctx));
    ASSERT_TRUE(found.count(marker));
    EXPECT_EQ(found.at(marker).name, "marker.txt");
    EXPECT_EQ(found.at(marker).flags, deleted_file);
    // Nothing of the first image is in the second.
    for (const auto& [record, s] : found)
        EXPECT_NE(s.name, "keep.txt");
    const QString out = dir.filePath("marker.out");
    ASSERT_EQ(ntfs_undelete(ctx.data(), marker, QFile::encodeName(out).constData(), nullptr), 0);
    EXPECT_EQ(md5_of(file_bytes(out)), md5_of(text_bytes(1000, 20)));
}

TEST(ntfs_library, image_helper_reports_a_failing_step_and_leaves_nothing_mounted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString mount;
    EXPECT_THROW(make_ntfs_image(dir.path(), "failing.img", {16, 0, false},
                                 [&](const QString& root) {
                                     mount = QFileInfo(root).canonicalFilePath();
                                     write_file(root + "/a.txt", "a");
                                     write_file(root + "/no such folder/b.txt", "b");
                                 }),
                 std::runtime_error);
    ASSERT_FALSE(mount.isEmpty()) << "the image was not mounted";
    QFile table("/proc/self/mountinfo");
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QString::fromUtf8(table.readAll()).contains(" " + mount + " ")) << mount.toStdString();
}

TEST(ntfs_library, device_names_other_than_dev_hd_letter_number_are_refused)
{
    const char* const names[] = {
        "",           "/dev/hd",   "/dev/hda", "/dev/sda1",          "/dev/hdA1",  "/dev/hda1x",
        "/dev/hda-1", "/dev/hd 1", "dev/hda1", "/dev/hda1234567890", "/dev/hda1/",
    };
    drives_c drives({});
    for (const char* name : names) {
        SCOPED_TRACE(name);
        context_c ctx;
        EXPECT_EQ(ntfs_scan_startup(name, ctx.data()), ntfs_startup_bad_name);
        EXPECT_EQ(ctx.open_word(), 0u);
    }
    context_c ctx;
    EXPECT_EQ(ntfs_scan_startup(nullptr, ctx.data()), ntfs_startup_bad_name);
    EXPECT_EQ(ntfs_scan_startup("/dev/hda0", nullptr), ntfs_startup_bad_name);
}

TEST(ntfs_library, device_name_gives_disk_from_the_letter_and_partition_from_the_digits)
{
    struct case_s {
        const char* name;
        std::int32_t disk;
        std::int32_t partition;
    };
    const case_s cases[] = {
        {"/dev/hda1", 0, 1},
        {"/dev/hdb2", 1, 2},
        {"/dev/hdj0", 9, 0},
        {"/dev/hdc12", 2, 12},
        {"/dev/hdz123456789", 25, 123456789},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = parse_ntfs_device_name(c.name);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->disk_number, c.disk);
        EXPECT_EQ(parsed->partition_number, c.partition);
    }
}

namespace {

// A small image for damage: a few deleted files, each of which a test may break, and one
// that stays whole.
struct small_image_s {
    ntfs_image_s image;
    std::map<QString, std::uint64_t> records;  // by file name
    std::map<QString, QByteArray> bytes;
};

small_image_s make_small_image(const QString& dir)
{
    small_image_s s;
    const std::map<QString, QByteArray> files = {
        {"fixup.txt", text_bytes(200, 30)},     {"first.txt", text_bytes(210, 31)},
        {"name.txt", text_bytes(220, 32)},      {"data.txt", text_bytes(230, 33)},
        {"zero.txt", text_bytes(240, 34)},      {"offset.txt", text_bytes(250, 35)},
        {"used.txt", text_bytes(260, 36)},      {"runlist.bin", random_bytes(50000, 37)},
        {"whole.bin", random_bytes(30000, 38)}, {"filler.bin", random_bytes(40000, 40)},
        {"huge.bin", random_bytes(40000, 41)},  {"sparse.bin", random_bytes(40000, 42)},
        {"whole.txt", text_bytes(270, 39)},
    };
    s.image = make_ntfs_image(dir, "small.img", {16, 0, false}, [&](const QString& root) {
        for (const auto& [name, bytes] : files)
            s.records[name] = write_file(root + "/" + name, bytes);
        for (const auto& [name, bytes] : files)
            if (!QFile::remove(root + "/" + name))
                throw std::runtime_error(("cannot delete " + name).toStdString());
    });
    s.bytes = files;
    return s;
}

// Reads MFT record n, lets patch change it and writes it back. Unless the patch is meant
// to break the fixups, the sector ends (which hold the update sequence number) must stay.
void patch_record(const ntfs_image_s& image, std::uint64_t n, const std::function<void(QByteArray&)>& patch,
                  bool breaks_fixups = false)
{
    const std::uint64_t offset = mft_record_offset(image, n);
    const std::uint32_t size = mft_record_bytes(image);
    QByteArray record = read_at(image.path, offset, size);
    const QByteArray before = record;
    patch(record);
    for (std::uint32_t end = 510; end < size && !breaks_fixups; end += 512)
        if (record.mid(int(end), 2) != before.mid(int(end), 2))
            throw std::runtime_error("a patch touched the end of a sector");
    write_at(image.path, offset, record);
}

// The offset in a record of its first attribute of the given type.
int attribute_at(const QByteArray& record, std::uint32_t type)
{
    const std::span<const std::uint8_t> r(reinterpret_cast<const std::uint8_t*>(record.constData()),
                                          std::size_t(record.size()));
    for (std::size_t at = le16(r, 20); at + 8 <= r.size();) {
        const std::uint32_t t = le32(r, at);
        const std::uint32_t length = le32(r, at + 4);
        if (t == 0xFFFFFFFF || length < 16)
            break;
        if (t == type)
            return int(at);
        at += length;
    }
    throw std::runtime_error("the record has no attribute of type " + std::to_string(type));
}

void set_u32(QByteArray& b, int at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

}  // namespace

TEST(ntfs_library, damaged_mft_records_are_skipped_and_the_others_still_handed_out)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const small_image_s s = make_small_image(dir.path());

    // Each damage goes to a file of its own.
    struct damage_s {
        const char* file;
        const char* what;
        std::function<void(QByteArray&)> patch;
        bool breaks_fixups = false;
    };
    const std::vector<damage_s> damages = {
        {"fixup.txt", "the end of the first sector does not match the update sequence number",
         [](QByteArray& r) { r[510] = char(r[510] ^ 0xFF); }, true},
        {"first.txt", "the first attribute's length runs past the record",
         [](QByteArray& r) { set_u32(r, attribute_at(r, 0x10) + 4, 0x10000); }},
        {"name.txt", "the $FILE_NAME attribute's length runs past the record",
         [](QByteArray& r) { set_u32(r, attribute_at(r, 0x30) + 4, 0x10000); }},
        {"data.txt", "the $DATA attribute's length runs past the record",
         [](QByteArray& r) { set_u32(r, attribute_at(r, 0x80) + 4, 0x10000); }},
        {"zero.txt", "an attribute of length 0, which would never advance a walk",
         [](QByteArray& r) { set_u32(r, attribute_at(r, 0x10) + 4, 0); }},
        {"offset.txt", "the first attribute's offset lies past the record",
         [](QByteArray& r) {
             r[20] = char(0x00);
             r[21] = char(0x10);
         }},
        {"used.txt", "the record's used size is larger than the record",
         [](QByteArray& r) { set_u32(r, 24, 0x10000); }},
    };
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.what);
        ASSERT_NO_THROW(patch_record(s.image, s.records.at(d.file), d.patch, d.breaks_fixups));
    }

    drives_c drives({s.image.path});
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    const std::map<std::uint64_t, scanned_s> found = by_record(scan_all(ctx));
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.what);
        EXPECT_EQ(found.count(s.records.at(d.file)), 0u) << d.file << " was handed out";
        const QString out = dir.filePath(QString(d.file) + ".out");
        EXPECT_LT(ntfs_undelete(ctx.data(), s.records.at(d.file), QFile::encodeName(out).constData(), nullptr), 0);
        EXPECT_FALSE(QFile::exists(out));
    }
    for (const char* whole : {"whole.bin", "whole.txt"}) {
        SCOPED_TRACE(whole);
        const std::uint64_t record = s.records.at(whole);
        ASSERT_EQ(found.count(record), 1u);
        EXPECT_EQ(found.at(record).name, whole);
        EXPECT_EQ(found.at(record).flags, deleted_file);
        const QString out = dir.filePath(QString(whole) + ".out");
        ASSERT_EQ(ntfs_undelete(ctx.data(), record, QFile::encodeName(out).constData(), nullptr), 0);
        EXPECT_EQ(md5_of(file_bytes(out)), md5_of(s.bytes.at(whole)));
    }
    EXPECT_EQ(ctx.position(), std::uint64_t(ctx.total()));
}

TEST(ntfs_library, damaged_runlists_and_sizes_fail_the_undelete_and_write_nothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const small_image_s s = make_small_image(dir.path());

    // Changes to the non-resident $DATA attribute (at offset `data` of the record) of a
    // file of its own each: 40000 to 50000 bytes, 10 to 13 clusters of 4 KiB.
    struct damage_s {
        const char* file;
        const char* what;
        std::function<void(QByteArray& r, int data, int runs)> patch;
    };
    auto put = [](QByteArray& r, int at, const QByteArray& bytes) { r.replace(at, bytes.size(), bytes); };
    const std::vector<damage_s> damages = {
        {"runlist.bin", "a run of 13 clusters at cluster 0x00F00000, about 60 GB into 16 MiB",
         [&](QByteArray& r, int, int runs) { put(r, runs, QByteArray("\x41\x0d\x00\x00\xf0\x00\x00", 7)); }},
        {"filler.bin", "the runlist starts at cluster 2 of the file, so its first clusters are unknown",
         [&](QByteArray& r, int data, int) { r[data + 16] = 2; }},
        {"huge.bin", "a size of 1 TiB",
         [&](QByteArray& r, int data, int) {
             const QByteArray tib("\x00\x00\x00\x00\x00\x01\x00\x00", 8);
             put(r, data + 40, tib);
             put(r, data + 48, tib);
             put(r, data + 56, tib);
         }},
        {"sparse.bin", "a size of 1 TiB in one sparse run of 2^28 clusters",
         [&](QByteArray& r, int data, int runs) {
             const QByteArray tib("\x00\x00\x00\x00\x00\x01\x00\x00", 8);
             put(r, data + 24, QByteArray("\xff\xff\xff\x0f\x00\x00\x00\x00", 8));  // last cluster
             put(r, data + 40, tib);
             put(r, data + 48, tib);
             put(r, data + 56, tib);
             put(r, runs, QByteArray("\x04\x00\x00\x00\x10\x00", 6));
         }},
    };
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.what);
        ASSERT_NO_THROW(patch_record(s.image, s.records.at(d.file), [&](QByteArray& r) {
            const int data = attribute_at(r, 0x80);
            if (r[data + 8] != 1)
                throw std::runtime_error(std::string(d.file) + " has no non-resident $DATA");
            const std::span<const std::uint8_t> a(reinterpret_cast<const std::uint8_t*>(r.constData()) + data, 64);
            d.patch(r, data, data + le16(a, 32));
        }));
    }
    const QByteArray before = file_md5(s.image.path);

    drives_c drives({s.image.path});
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    const std::map<std::uint64_t, scanned_s> found = by_record(scan_all(ctx));
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.what);
        const QString out = dir.filePath(QString(d.file) + ".out");
        EXPECT_LT(ntfs_undelete(ctx.data(), s.records.at(d.file), QFile::encodeName(out).constData(), nullptr), 0);
        EXPECT_FALSE(QFile::exists(out));
    }
    // The rest of the volume is still there.
    ASSERT_EQ(found.count(s.records.at("whole.bin")), 1u);
    const QString whole = dir.filePath("whole.out");
    ASSERT_EQ(ntfs_undelete(ctx.data(), s.records.at("whole.bin"), QFile::encodeName(whole).constData(), nullptr), 0);
    EXPECT_EQ(md5_of(file_bytes(whole)), md5_of(s.bytes.at("whole.bin")));
    EXPECT_EQ(file_md5(s.image.path), before);
}

TEST(ntfs_library, damaged_boot_sector_fails_the_startup_and_leaves_the_context_closed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const small_image_s s = make_small_image(dir.path());
    const QByteArray boot = read_at(s.image.path, 0, 512);
    ASSERT_EQ(boot.mid(3, 4), "NTFS");

    struct damage_s {
        const char* what;
        std::function<void(QByteArray&)> patch;
    };
    const std::vector<damage_s> damages = {
        {"all zeros", [](QByteArray& b) { b.fill('\0'); }},
        {"no NTFS name", [](QByteArray& b) { b.replace(3, 8, "XXXXXXXX"); }},
        {"0 bytes per sector",
         [](QByteArray& b) {
             b[11] = 0;
             b[12] = 0;
         }},
        {"0 sectors per cluster", [](QByteArray& b) { b[13] = 0; }},
        {"the $MFT past the volume",
         [](QByteArray& b) { b.replace(48, 8, QByteArray("\xff\xff\xff\x0f\0\0\0\0", 8)); }},
        {"the $MFT at cluster 0", [](QByteArray& b) { b.replace(48, 8, QByteArray(8, '\0')); }},
        {"0 clusters per MFT record", [](QByteArray& b) { b[64] = 0; }},
    };
    drives_c drives({s.image.path});
    for (const damage_s& d : damages) {
        SCOPED_TRACE(d.what);
        QByteArray damaged = boot;
        d.patch(damaged);
        write_at(s.image.path, 0, damaged);
        context_c ctx;
        EXPECT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), ntfs_startup_not_ntfs);
        EXPECT_EQ(ctx.open_word(), 0u);
        std::vector<std::uint8_t> area(ntfs_record_bytes, 0);
        EXPECT_EQ(ntfs_scan_next(ctx.data(), area.data()), 0);
    }
    // The same volume with its boot sector back opens.
    write_at(s.image.path, 0, boot);
    context_c ctx;
    EXPECT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
}

TEST(ntfs_library, closed_zeroed_and_foreign_contexts_are_safe)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    drives_c drives({m.image.path});
    std::vector<std::uint8_t> area(ntfs_record_bytes, 0);

    // A zeroed context: nothing to close, nothing handed out, nothing written.
    std::vector<std::uint8_t> zero(ntfs_context_bytes, 0);
    ntfs_scan_close(zero.data());
    ntfs_scan_close(nullptr);
    EXPECT_EQ(ntfs_scan_next(zero.data(), area.data()), 0);
    EXPECT_EQ(ntfs_undelete(zero.data(), 64, "/nonexistent/x", nullptr), ntfs_undelete_not_open);

    // Bytes that say "open" but were never opened by the library are not followed.
    std::vector<std::uint8_t> foreign(ntfs_context_bytes, 0xA5);
    EXPECT_EQ(ntfs_scan_next(foreign.data(), area.data()), 0);
    EXPECT_EQ(ntfs_undelete(foreign.data(), 64, "/nonexistent/x", nullptr), ntfs_undelete_not_open);
    ntfs_scan_close(foreign.data());
    EXPECT_EQ(le32(foreign, NTFS_CTX_Open), 0u);

    // An open context closed twice, then used.
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    ASSERT_EQ(ntfs_scan_next(ctx.data(), area.data()), 1);
    ntfs_scan_close(ctx.data());
    EXPECT_EQ(ctx.open_word(), 0u);
    ntfs_scan_close(ctx.data());
    EXPECT_EQ(ntfs_scan_next(ctx.data(), area.data()), 0);
    EXPECT_EQ(ntfs_undelete(ctx.data(), m.made.at("resident").record, "/nonexistent/x", nullptr),
              ntfs_undelete_not_open);

    // A startup on a context that is still open starts the walk again from record 0.
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    ASSERT_EQ(ntfs_scan_next(ctx.data(), area.data()), 1);
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    std::fill(area.begin(), area.end(), 0);
    ASSERT_EQ(ntfs_scan_next(ctx.data(), area.data()), 1);
    EXPECT_EQ(decode(area).record, 0u);
}

TEST(ntfs_library, undelete_fails_for_unknown_records_folders_and_unwritable_paths)
{
    const main_image_s& m = main_image();
    ASSERT_TRUE(m.error.isEmpty()) << "cannot build the image: " << m.error.toStdString();
    drives_c drives({m.image.path});
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    context_c ctx;
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
    const std::uint64_t total = std::uint64_t(ctx.total());
    const QByteArray path = QFile::encodeName(out.filePath("x"));

    struct case_s {
        const char* what;
        std::uint64_t record;
        QByteArray path;
        std::int32_t result;
    };
    const case_s cases[] = {
        {"past the last record", total, path, ntfs_undelete_unknown_record},
        {"far past the last record", ~std::uint64_t(0), path, ntfs_undelete_unknown_record},
        {"a folder", m.made.at("live folder").record, path, ntfs_undelete_no_data},
        {"a deleted folder", m.made.at("deleted folder").record, path, ntfs_undelete_no_data},
        {"a folder that does not exist", m.made.at("resident").record, QFile::encodeName(out.filePath("no/x")),
         ntfs_undelete_cannot_create},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ntfs_undelete(ctx.data(), c.record, c.path.constData(), nullptr), c.result);
        EXPECT_FALSE(QFile::exists(QFile::decodeName(c.path)));
    }
    EXPECT_EQ(ntfs_undelete(ctx.data(), m.made.at("resident").record, nullptr, nullptr), ntfs_undelete_cannot_create);
}

TEST(ntfs_library, file_name_content_shorter_than_its_name_is_refused)
{
    // Parent reference 0x0003'0000'0000'0040: sequence number 3, record 64.
    auto content = [](std::size_t bytes, std::uint8_t length, std::uint8_t name_space) {
        std::vector<std::uint8_t> c(bytes, 0);
        if (bytes >= 66) {
            put_le64(c, 0, 0x0003000000000040ull);
            c[64] = length;
            c[65] = name_space;
            for (std::size_t i = 0; 66 + 2 * i + 1 < bytes; ++i)
                c[66 + 2 * i] = std::uint8_t('a' + i % 26);
        }
        return c;
    };
    struct case_s {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool valid;
    };
    const case_s cases[] = {
        {"empty", {}, false},
        {"shorter than the fixed part", std::vector<std::uint8_t>(65, 0), false},
        {"no name", content(66, 0, 1), false},
        {"one character", content(68, 1, 1), true},
        {"a name one byte short", content(66 + 2 * 5 - 1, 5, 1), false},
        {"a name exactly filling it", content(66 + 2 * 5, 5, 3), true},
        {"the longest name", content(66 + 2 * 255, 255, 0), true},
        {"a length byte claiming more than is there", content(66 + 2 * 10, 255, 0), false},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        const auto fn = parse_ntfs_file_name(c.bytes);
        ASSERT_EQ(fn.has_value(), c.valid);
        if (fn) {
            EXPECT_EQ(fn->parent, 64u);
            EXPECT_EQ(fn->name_space, c.bytes[65]);
            EXPECT_EQ(fn->name.size(), c.bytes[64]);
            EXPECT_EQ(fn->name[0], u'a');
        }
    }
}

TEST(ntfs_library, win32_name_is_chosen_before_posix_and_dos_names)
{
    auto names = [](std::initializer_list<std::uint8_t> spaces) {
        std::vector<ntfs_file_name_s> v;
        for (std::uint8_t s : spaces)
            v.push_back({5, s, u"n"});
        return v;
    };
    struct case_s {
        const char* what;
        std::vector<ntfs_file_name_s> names;
        int chosen;
    };
    const case_s cases[] = {
        {"none", {}, -1},
        {"DOS then Win32", names({2, 1}), 1},
        {"DOS then Win32 and DOS", names({2, 3}), 1},
        {"POSIX then Win32", names({0, 1}), 1},
        {"DOS then POSIX", names({2, 0}), 1},
        {"DOS alone", names({2}), 0},
        {"unknown then DOS", names({7, 2}), 1},
        {"unknown alone", names({7}), 0},
        {"two Win32: the first", names({1, 3}), 0},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(choose_ntfs_file_name(c.names), c.chosen);
    }
}

TEST(ntfs_library, record_area_holds_the_fields_at_their_offsets_and_cuts_the_name_at_259)
{
    ntfs_record_s r;
    r.record = 0x1122334455667788ull;
    r.parent = 5;
    r.size = 1ull << 40;
    r.date1 = 1308145510;
    r.date2 = -1;  // before 1970
    r.flags = deleted_file;
    r.name = std::u16string(300, u'x');
    r.name[258] = u'y';
    r.name[259] = u'z';
    std::vector<std::uint8_t> area(ntfs_record_bytes, 0xEE);
    write_ntfs_record(r, area);
    EXPECT_EQ(le64(area, NTFS_REC_Record), r.record);
    EXPECT_EQ(le64(area, NTFS_REC_Parent), 5u);
    EXPECT_EQ(le64(area, NTFS_REC_Size), r.size);
    EXPECT_EQ(static_cast<std::int64_t>(le64(area, NTFS_REC_Date1)), r.date1);
    EXPECT_EQ(static_cast<std::int64_t>(le64(area, NTFS_REC_Date2)), r.date2);
    EXPECT_EQ(le32(area, NTFS_REC_Flags), deleted_file);
    EXPECT_EQ(le16(area, NTFS_REC_Name + 2 * 258), u'y');
    EXPECT_EQ(le16(area, NTFS_REC_Name + 2 * 259), 0u);
    // The unused bytes between the fields are left alone.
    EXPECT_EQ(area[32], 0xEE);
    EXPECT_EQ(area[52], 0xEE);
}

namespace {

// Unreadable byte ranges of an image for the test's duration, as a damaged surface would be.
class unreadable_c {
public:
    unreadable_c(const QString& path, std::vector<byte_range_s> ranges) : path_(path)
    {
        set_unreadable_ranges(path, std::move(ranges));
    }
    ~unreadable_c() { set_unreadable_ranges(path_, {}); }

private:
    QString path_;
};

}  // namespace

TEST(ntfs_library, unreadable_sectors_fail_the_startup_skip_a_record_or_fail_an_undelete)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const small_image_s s = make_small_image(dir.path());
    drives_c drives({s.image.path});
    {
        unreadable_c bad(s.image.path, {{0, 512}});
        context_c ctx;
        EXPECT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), ntfs_startup_cannot_open);
        EXPECT_EQ(ctx.open_word(), 0u);
    }
    {
        // One record of the $MFT unreadable: that record is passed over, the walk goes on.
        const std::uint64_t lost = s.records.at("first.txt");
        const std::uint64_t at = mft_record_offset(s.image, lost);
        unreadable_c bad(s.image.path, {{at, at + mft_record_bytes(s.image)}});
        context_c ctx;
        ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
        const std::map<std::uint64_t, scanned_s> found = by_record(scan_all(ctx));
        EXPECT_EQ(found.count(lost), 0u);
        EXPECT_EQ(found.count(s.records.at("whole.txt")), 1u);
        EXPECT_EQ(found.count(s.records.at("whole.bin")), 1u);
        EXPECT_EQ(ctx.position(), std::uint64_t(ctx.total()));
    }
    {
        // The data of a non-resident file unreadable: the undelete fails and leaves no file.
        const data_facts_s facts = data_facts(s.image, s.records.at("whole.bin"));
        ASSERT_TRUE(facts.found && !facts.resident && facts.first_byte > 0);
        unreadable_c bad(s.image.path, {{facts.first_byte + 4096, facts.first_byte + 4096 + 512}});
        context_c ctx;
        ASSERT_EQ(ntfs_scan_startup("/dev/hda0", ctx.data()), 0);
        const QString out = dir.filePath("whole.out");
        EXPECT_EQ(ntfs_undelete(ctx.data(), s.records.at("whole.bin"), QFile::encodeName(out).constData(), nullptr),
                  ntfs_undelete_read_error);
        EXPECT_FALSE(QFile::exists(out));
        // Asked for what it could not read, it writes that sector as zeros and names it.
        std::vector<byte_range_s> ranges;
        std::atomic<std::uint64_t> bytes{0};
        EXPECT_EQ(ntfs_undelete_reported(ctx.data(), s.records.at("whole.bin"), QFile::encodeName(out).constData(),
                                         &ranges, &bytes),
                  ntfs_undelete_partial);
        ASSERT_EQ(ranges.size(), 1u);
        EXPECT_EQ(ranges[0].first, 4096u);
        EXPECT_EQ(ranges[0].last, 4096u + 512);
        QByteArray expected = s.bytes.at("whole.bin");
        expected.replace(4096, 512, QByteArray(512, '\0'));
        EXPECT_EQ(file_bytes(out), expected);
        EXPECT_EQ(bytes.load(), std::uint64_t(expected.size()));
        // A resident file does not touch the bad sectors.
        const QString text = dir.filePath("whole.txt.out");
        ASSERT_EQ(ntfs_undelete(ctx.data(), s.records.at("whole.txt"), QFile::encodeName(text).constData(), nullptr),
                  0);
        EXPECT_EQ(md5_of(file_bytes(text)), md5_of(s.bytes.at("whole.txt")));
    }
}

TEST(ntfs_library, randomly_damaged_mft_records_end_the_scan_without_a_crash)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const small_image_s s = make_small_image(dir.path());
    const QByteArray pristine = file_bytes(s.image.path);
    const std::uint64_t first = mft_record_offset(s.image, 0);
    const std::uint32_t record = mft_record_bytes(s.image);
    std::uint64_t last_record = 0;
    for (const auto& [name, n] : s.records)
        last_record = std::max(last_record, n);
    const std::uint64_t last = mft_record_offset(s.image, last_record);
    drives_c drives({s.image.path});
    // Each round damages a few hundred bytes anywhere in the records from $MFT up to the
    // files' own, system records included, and then reads and writes back everything.
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        QByteArray damaged = pristine;
        QRandomGenerator gen(static_cast<quint32>(seed));
        for (int i = 0; i < 300; ++i) {
            const qsizetype at = qsizetype(first + gen.bounded(quint64(last + record - first)));
            damaged[at] = char(gen.generate());
        }
        QFile f(s.image.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(damaged) == damaged.size());
        f.close();

        context_c ctx;
        const std::int32_t r = ntfs_scan_startup("/dev/hda0", ctx.data());
        if (r != 0) {
            EXPECT_EQ(r, ntfs_startup_not_ntfs);
            continue;
        }
        std::uint64_t previous = 0;
        bool any = false;
        for (const scanned_s& x : scan_all(ctx)) {
            EXPECT_TRUE(!any || x.record > previous);
            EXPECT_LT(x.record, std::uint64_t(ctx.total()));
            previous = x.record;
            any = true;
            const QString out = dir.filePath("out");
            const std::int32_t u = ntfs_undelete(ctx.data(), x.record, QFile::encodeName(out).constData(), nullptr);
            EXPECT_TRUE(u == 0 || !QFile::exists(out));
            QFile::remove(out);
        }
        EXPECT_EQ(ctx.position(), std::uint64_t(ctx.total()));
    }
}

namespace {

void set16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

// A boot sector of 512-byte sectors, 8 sectors per cluster and 1 KiB records.
std::vector<std::uint8_t> boot_sector()
{
    std::vector<std::uint8_t> b(512, 0);
    std::memcpy(&b[3], "NTFS    ", 8);
    set16(b, 11, 512);
    b[13] = 8;
    b[64] = 0xF6;  // -10: records of 2^10 bytes
    set16(b, 510, 0xAA55);
    return b;
}

// A sound 1 KiB MFT record as it lies on disk: $STANDARD_INFORMATION (resident), $DATA
// (non-resident), the end mark, and the update sequence number 7 at both stride ends.
std::vector<std::uint8_t> mft_record()
{
    std::vector<std::uint8_t> r(1024, 0);
    std::memcpy(r.data(), "FILE", 4);
    set16(r, 4, 48);  // update sequence array at 48: the number, then two saved pairs
    set16(r, 6, 3);
    set16(r, 48, 7);
    set16(r, 20, 56);  // first attribute
    put_le32(r, 28, 1024);
    put_le32(r, 56, 0x10);  // $STANDARD_INFORMATION: 24-byte header and 72 bytes of value
    put_le32(r, 60, 96);
    put_le32(r, 56 + 16, 72);
    set16(r, 56 + 20, 24);
    put_le32(r, 152, 0x80);  // $DATA: 64-byte header and an 8-byte runlist
    put_le32(r, 156, 72);
    r[152 + 8] = 1;
    set16(r, 152 + 32, 64);
    r[152 + 64] = 0x11;  // one cluster at cluster 16
    r[152 + 65] = 0x01;
    r[152 + 66] = 0x10;
    put_le32(r, 224, 0xFFFFFFFF);
    put_le32(r, 24, 232);  // used size, the end mark and its padding included
    set16(r, 510, 7);
    set16(r, 1022, 7);
    return r;
}

}  // namespace

TEST(ntfs_library, boot_sector_gives_the_record_size_and_refuses_impossible_values)
{
    struct case_s {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> patch;
        std::uint32_t cluster;  // 0: refused
        std::uint32_t record;
    };
    const std::vector<case_s> cases = {
        {"as made", [](auto&) {}, 4096, 1024},
        {"records of one cluster", [](auto& b) { b[64] = 1; }, 4096, 4096},
        {"2 MiB clusters, counted as a negative power", [](auto& b) { b[13] = 0xF4; }, 2u << 20, 1024},
        {"4096-byte sectors",
         [](auto& b) {
             set16(b, 11, 4096);
             b[13] = 1;
         },
         4096, 1024},
        {"no 55 AA", [](auto& b) { b[510] = 0; }, 0, 0},
        {"another name", [](auto& b) { b[3] = 'X'; }, 0, 0},
        {"0-byte sectors", [](auto& b) { set16(b, 11, 0); }, 0, 0},
        {"256-byte sectors", [](auto& b) { set16(b, 11, 256); }, 0, 0},
        {"768-byte sectors", [](auto& b) { set16(b, 11, 768); }, 0, 0},
        {"8192-byte sectors", [](auto& b) { set16(b, 11, 8192); }, 0, 0},
        {"0 sectors per cluster", [](auto& b) { b[13] = 0; }, 0, 0},
        {"3 sectors per cluster", [](auto& b) { b[13] = 3; }, 0, 0},
        {"0 clusters per record", [](auto& b) { b[64] = 0; }, 0, 0},
        {"records of 127 clusters", [](auto& b) { b[64] = 0x7F; }, 0, 0},
        {"records of 2^32 bytes", [](auto& b) { b[64] = 0xE0; }, 0, 0},
        {"records of 256 bytes", [](auto& b) { b[64] = 0xF8; }, 0, 0},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> b = boot_sector();
        c.patch(b);
        const auto parsed = parse_ntfs_boot_sector(b);
        ASSERT_EQ(parsed.has_value(), c.cluster != 0);
        if (parsed) {
            EXPECT_EQ(parsed->cluster_bytes, c.cluster);
            EXPECT_EQ(parsed->record_bytes, c.record);
        }
    }
    EXPECT_FALSE(parse_ntfs_boot_sector(std::vector<std::uint8_t>(511, 0)).has_value());
}

TEST(ntfs_library, raw_record_with_broken_fixups_or_lengths_outside_it_is_unsound)
{
    struct case_s {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> patch;
        bool sound;
    };
    const std::vector<case_s> cases = {
        {"as made", [](auto&) {}, true},
        {"a field at the first stride end, saved in the array", [](auto& r) { set16(r, 50, 0x1234); }, true},
        {"marked BAAD", [](auto& r) { std::memcpy(r.data(), "BAAD", 4); }, false},
        {"zeros", [](auto& r) { std::fill(r.begin(), r.end(), 0); }, false},
        {"first stride end torn", [](auto& r) { set16(r, 510, 8); }, false},
        {"second stride end torn", [](auto& r) { set16(r, 1022, 8); }, false},
        {"array too short for the record", [](auto& r) { set16(r, 6, 2); }, false},
        {"array too long for the record", [](auto& r) { set16(r, 6, 4); }, false},
        {"array over the header", [](auto& r) { set16(r, 4, 8); }, false},
        {"array past the first stride", [](auto& r) { set16(r, 4, 506); }, false},
        {"used size past the record", [](auto& r) { put_le32(r, 24, 0x10000); }, false},
        {"first attribute inside the array", [](auto& r) { set16(r, 20, 48); }, false},
        {"first attribute past the used size", [](auto& r) { set16(r, 20, 240); }, false},
        {"attribute length 0", [](auto& r) { put_le32(r, 60, 0); }, false},
        {"attribute length not a multiple of 8", [](auto& r) { put_le32(r, 60, 100); }, false},
        {"attribute length past the record", [](auto& r) { put_le32(r, 60, 0x10000); }, false},
        {"last attribute runs over the end mark", [](auto& r) { put_le32(r, 156, 80); }, false},
        {"resident value past its attribute", [](auto& r) { put_le32(r, 56 + 16, 73); }, false},
        {"name past its attribute",
         [](auto& r) {
             r[56 + 9] = 40;
             set16(r, 56 + 10, 24);
         },
         false},
        {"runlist offset past its attribute", [](auto& r) { set16(r, 152 + 32, 80); }, false},
        {"non-resident header cut short",
         [](auto& r) {
             put_le32(r, 156, 56);
             put_le32(r, 208, 0xFFFFFFFF);
         },
         false},
        {"residence flag neither 0 nor 1", [](auto& r) { r[152 + 8] = 2; }, false},
        {"no end mark inside the used size", [](auto& r) { put_le32(r, 24, 224); }, false},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> r = mft_record();
        c.patch(r);
        EXPECT_EQ(ntfs_record_is_sound(r), c.sound);
    }
    const std::vector<std::uint8_t> whole = mft_record();
    EXPECT_FALSE(ntfs_record_is_sound(std::span<const std::uint8_t>(whole).first(512)));
}

TEST(ntfs_library, extension_records_are_told_from_base_records_by_their_base_reference)
{
    struct case_s {
        const char* what;
        std::uint64_t base_reference;
        bool base;
    };
    const case_s cases[] = {
        {"a base record", 0, true},
        {"an extension of record 65, sequence 1", 0x0001000000000041ull, false},
        {"an extension of the $MFT: record 0, sequence 1", 0x0001000000000000ull, false},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> r = mft_record();
        put_le64(r, 32, c.base_reference);
        EXPECT_TRUE(ntfs_record_is_sound(r));
        EXPECT_EQ(ntfs_record_is_base(r), c.base);
    }
}
