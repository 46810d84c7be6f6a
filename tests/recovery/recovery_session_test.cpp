// A scan through recovery_session_c and its files written by recovery_writer_c, on FAT, NTFS
// and deep volumes made by the real tools: the files come back byte for byte with their
// times, under safe names that never replace a file, and each failure says why.
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <utility>

#include "disk/device_registry.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_writer.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

class recovery_session : public engine_fixture {
protected:
    // Scans the volume through a session and writes every file it shows into out.
    std::map<QString, recovery_outcome_s> recover_all(recovery_session_c& session, const volume_item_s& volume,
                                                      const QString& out, bool deep = false)
    {
        EXPECT_TRUE(session.start(volume, deep));
        EXPECT_TRUE(session.wait(120000));
        const std::optional<result_tree_s> tree = session.results();
        std::map<QString, recovery_outcome_s> outcomes;
        if (!tree) {
            ADD_FAILURE() << "nothing found on " << volume.volume_path.toStdString();
            return outcomes;
        }
        recovery_writer_c writer(session);
        for (const recovery_outcome_s& o : writer.write(recovery_writer_c::rows_of(*tree), out))
            outcomes[o.path] = o;
        return outcomes;
    }

    // The file at out/path holds source's bytes and, when modified is not 0, that time.
    void expect_file(const std::map<QString, recovery_outcome_s>& outcomes, const QString& out, const QString& path,
                     const QByteArray& bytes, std::int64_t modified)
    {
        SCOPED_TRACE(path.toStdString());
        const auto it = outcomes.find(path);
        ASSERT_NE(it, outcomes.end());
        EXPECT_TRUE(it->second.written()) << it->second.reason.toStdString();
        EXPECT_EQ(it->second.size, std::uint64_t(bytes.size()));
        QFile f(out + "/" + path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), bytes);
        if (modified != 0) {
            EXPECT_EQ(QFileInfo(f).lastModified().toSecsSinceEpoch(), modified);
        }
    }

    static QByteArray content(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// No leftovers of a write under a temporary name anywhere below a folder.
QStringList leftovers(const QString& dir)
{
    QStringList found;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (f.fileName().startsWith(".vantrel-part"))
            found << f.filePath();
        if (f.isDir())
            found << leftovers(f.filePath());
    }
    return found;
}

}  // namespace

TEST_F(recovery_session, fat_ntfs_and_deep_files_come_back_with_their_times)
{
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);

    // FAT: a deleted file in the root and one in a deleted folder.
    const fat_image_s fat = make_fat_image(dir_.path(), "fat.img", 16, true, 32768);
    const QString report = make_file(src, "REPORT.TXT", 30000, 1, "2020-02-29 23:59:58");
    const QString photo = make_file(src, "PHOTO.JPG", 9000, 2);
    mtools("mmd", fat, {"::/OLD"});
    mtools("mcopy", fat, {"-m", report, "::/"});
    mtools("mcopy", fat, {"-m", photo, "::/OLD/"});
    mtools("mdel", fat, {"::/REPORT.TXT"});
    mtools("mdeltree", fat, {"::/OLD"});
    {
        recovery_session_c session;
        const QString out = dir_.filePath("fat-out");
        const auto outcomes = recover_all(session, use({fat.path}, fat.volume_path), out);
        EXPECT_EQ(session.kind(), engine_kind::fat);
        expect_file(outcomes, out, "#EPORT.TXT", content(report), QFileInfo(report).lastModified().toSecsSinceEpoch());
        expect_file(outcomes, out, "#LD/#HOTO.JPG", content(photo), QFileInfo(photo).lastModified().toSecsSinceEpoch());
    }

    // NTFS: a deleted file with its times; a live file is not copied from a volume that is
    // not mounted, and says so.
    const QByteArray beach = random_bytes(70000, 11);
    const std::int64_t modified = 1300003600;
    const ntfs_image_s ntfs = make_ntfs_image(dir_.path(), "ntfs.img", {32, 1, false}, [&](const QString& m) {
        make_folder(m + "/photos");
        write_file(m + "/photos/beach.jpg", beach);
        set_ntfs_times(m + "/photos/beach.jpg", 1300000000, modified);
        QFile::remove(m + "/photos/beach.jpg");
    });
    {
        recovery_session_c session;
        const QString out = dir_.filePath("ntfs-out");
        const volume_item_s volume = use({ntfs.path}, ntfs.volume_path);
        const auto outcomes = recover_all(session, volume, out);
        EXPECT_EQ(session.kind(), engine_kind::ntfs);
        expect_file(outcomes, out, "photos/beach.jpg", beach, modified);

        recovery_row_s live;
        live.row.name = "live.txt";
        live.row.id = 5;
        live.row.flags = 0x02;  // a file, not deleted
        const QList<recovery_outcome_s> refused = recovery_writer_c(session).write({live}, out);
        ASSERT_EQ(refused.size(), 1);
        EXPECT_FALSE(refused[0].written());
        EXPECT_TRUE(refused[0].reason.contains("not mounted")) << refused[0].reason.toStdString();
        EXPECT_FALSE(QFile::exists(out + "/live.txt"));
    }

    // Deep: two gzip streams on a volume without a file system, read through one open of
    // the volume for the whole batch.
    const QString blob = dir_.filePath("blob");
    write_at(blob, 0, random_bytes(100000, 5));
    run("gzip", {"-n", "-k", "-9", blob});
    const QByteArray packed = content(blob + ".gz");
    const QString raw = dir_.filePath("raw.img");
    make_sparse(raw, 4 << 20);
    write_at(raw, 1000 * 512, packed);
    write_at(raw, 3000 * 512, packed);
    {
        recovery_session_c session;
        const volume_item_s volume = use({raw}, raw + "@p0");
        ASSERT_TRUE(session.start(volume));
        ASSERT_TRUE(session.wait(120000));
        EXPECT_EQ(session.kind(), engine_kind::deep);
        EXPECT_EQ(session.found_count(), 2);

        std::atomic<int> opens{0};
        register_device(raw, [&](device_access access) {
            ++opens;
            return open_file_device(raw, access);
        });
        const QString out = dir_.filePath("deep-out");
        std::map<QString, recovery_outcome_s> outcomes;
        recovery_writer_c writer(session);
        for (const recovery_outcome_s& o : writer.write(recovery_writer_c::rows_of(*session.results()), out))
            outcomes[o.path] = o;
        unregister_device(raw);
        EXPECT_EQ(opens, 1);
        expect_file(outcomes, out, "gz/00000000.gz", packed, 0);
        expect_file(outcomes, out, "gz/00000001.gz", packed, 0);
    }
}

TEST_F(recovery_session, writer_never_replaces_a_file_and_says_what_is_partial_or_failed)
{
    const fat_image_s img = make_fat_image(dir_.path(), "fat.img", 16, false, 32768);
    // ABC.TXT and XBC.TXT both show as #BC.TXT once deleted; BAD.TXT has an unreadable sector.
    const QStringList sources =
        deleted_files(img, dir_.filePath("src"), {{"ABC.TXT", 3000, 1}, {"XBC.TXT", 4000, 2}, {"BAD.TXT", 9000, 3}});
    const QString abc = sources[0], xbc = sources[1], bad = sources[2];
    const auto unreadable = make_unreadable(img.path, bad, 4096);

    const QString out = dir_.filePath("out");
    QDir().mkpath(out);
    write_at(out + "/#BC.TXT", 0, "was here first");

    recovery_session_c session;
    auto outcomes = recover_all(session, use({img.path}, img.volume_path), out);
    EXPECT_EQ(content(out + "/#BC.TXT"), QByteArray("was here first"));
    QSet<QByteArray> both;
    for (const QString name : {"#BC (2).TXT", "#BC (3).TXT"}) {
        const auto it = outcomes.find(name);
        ASSERT_NE(it, outcomes.end()) << name.toStdString();
        EXPECT_TRUE(it->second.written());
        EXPECT_EQ(it->second.status(), "written");
        both.insert(content(out + "/" + name));
    }
    EXPECT_EQ(both, (QSet<QByteArray>{content(abc), content(xbc)}));

    // The unreadable sector is zeros; the rest of the file is kept, and the range named.
    const auto partial = outcomes.find("#AD.TXT");
    ASSERT_NE(partial, outcomes.end());
    EXPECT_EQ(partial->second.status(), "partial");
    EXPECT_EQ(partial->second.size, 9000u);
    EXPECT_EQ(partial->second.unreadable_text(), "bytes 4096-4607");
    QByteArray expected = content(bad);
    expected.replace(4096, 512, QByteArray(512, '\0'));
    EXPECT_EQ(content(out + "/#AD.TXT"), expected);

    // A row the engine cannot write fails with its reason and leaves nothing.
    recovery_row_s unknown;
    unknown.row.name = "GONE.TXT";
    unknown.row.id = 0xFFFFFF;
    const QList<recovery_outcome_s> failed = recovery_writer_c(session).write({unknown}, out);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].status(), "failed");
    EXPECT_FALSE(failed[0].reason.isEmpty());
    EXPECT_FALSE(QFile::exists(out + "/GONE.TXT"));
    EXPECT_EQ(leftovers(out), QStringList{});
}

// Links planted inside the output folder (a folder of the recovered tree, a file's name, the
// writer's own temporary name) lead nowhere: nothing lands outside the folder, and a file
// that would have gone through a link fails and says so.
TEST_F(recovery_session, writer_follows_no_symbolic_link_inside_the_folder)
{
    const fat_image_s img = make_fat_image(dir_.path(), "fat.img", 16, false, 32768);
    const QString src = dir_.filePath("src");
    QDir().mkpath(src);
    const QString abc = make_file(src, "ABC.TXT", 3000, 1);
    const QString report = make_file(src, "REPORT.TXT", 2000, 2);
    mtools("mmd", img, {"::/DOCS"});
    mtools("mcopy", img, {"-m", abc, "::/"});
    mtools("mcopy", img, {"-m", report, "::/DOCS/"});
    mtools("mdel", img, {"::/ABC.TXT", "::/DOCS/REPORT.TXT"});

    const QString outside = dir_.filePath("outside");
    const QString out = dir_.filePath("out");
    QDir().mkpath(outside);
    QDir().mkpath(out);
    ASSERT_TRUE(QFile::link(outside, out + "/DOCS"));
    ASSERT_TRUE(QFile::link(outside + "/planted.txt", out + "/#BC.TXT"));
    ASSERT_TRUE(QFile::link(outside + "/part", out + "/.vantrel-part-0"));

    recovery_session_c session;
    const auto outcomes = recover_all(session, use({img.path}, img.volume_path), out);
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});

    const auto refused = outcomes.find("DOCS/#EPORT.TXT");
    ASSERT_NE(refused, outcomes.end());
    EXPECT_EQ(refused->second.status(), "failed");
    EXPECT_TRUE(refused->second.reason.contains("DOCS is a symbolic link")) << refused->second.reason.toStdString();
    // The link under the file's own name is a taken name: the file comes beside it.
    expect_file(outcomes, out, "#BC (2).TXT", content(abc), 0);
    EXPECT_TRUE(QFileInfo(out + "/#BC.TXT").isSymLink());
    EXPECT_TRUE(QFileInfo(out + "/.vantrel-part-0").isSymLink());
}

TEST(recovery_writer, names_are_made_safe)
{
    const struct {
        const char* name;
        const char* safe;
    } cases[] = {
        {"a/b", "a_b"}, {"..", "_.."}, {".", "_."}, {"", "_"}, {"ok.txt", "ok.txt"}, {"/etc/passwd", "_etc_passwd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(recovery_writer_c::safe_name(QString::fromUtf8(c.name)), QString::fromUtf8(c.safe)) << c.name;
    EXPECT_LE(recovery_writer_c::safe_name(QString(300, 'x') + ".jpg").toUtf8().size(), 240);
    EXPECT_TRUE(recovery_writer_c::safe_name(QString(300, 'x') + ".jpg").endsWith(".jpg"));
}

// With an event loop in the session's thread, the scan's end and its progress arrive there
// as signals, the end once.
TEST_F(recovery_session, signals_arrive_in_the_sessions_thread)
{
    int argc = 1;
    char name[] = "recovery_session_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const fat_image_s img = make_fat_image(dir_.path(), "fat.img", 12, false, 2048);
    deleted_files(img, dir_.filePath("src"), {{"GONE.TXT", 2000, 1}});
    const volume_item_s volume = use({img.path}, img.volume_path);

    recovery_session_c session;
    int started = 0, finished = 0, progress = 0;
    bool stopped = true, in_thread = true;
    QEventLoop loop;
    QObject::connect(&session, &recovery_session_c::started, [&] { ++started; });
    QObject::connect(&session, &recovery_session_c::progress_changed, [&](double, qint64, qint64) { ++progress; });
    QObject::connect(&session, &recovery_session_c::finished, [&](bool by_user) {
        ++finished;
        stopped = by_user;
        in_thread = in_thread && QThread::currentThread() == app.thread();
        QTimer::singleShot(300, &loop, &QEventLoop::quit);  // time for a second end, if one came
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    ASSERT_TRUE(session.start(volume));
    loop.exec();

    EXPECT_EQ(started, 1);
    EXPECT_EQ(finished, 1);
    EXPECT_GE(progress, 1);
    EXPECT_FALSE(stopped);
    EXPECT_TRUE(in_thread);
    EXPECT_EQ(session.progress(), 1.0);
    ASSERT_TRUE(session.results());
    EXPECT_EQ(session.results()->folders[0].rows.value(0).name, "#ONE.TXT");
}

// While a writer writes the results' files, no new scan can reset the engine under it.
TEST_F(recovery_session, no_scan_starts_while_files_are_written)
{
    const fat_image_s img = make_fat_image(dir_.path(), "fat.img", 12, false, 2048);
    deleted_files(img, dir_.filePath("src"), {{"AAA.TXT", 2000, 1}, {"BBB.TXT", 3000, 2}});
    const volume_item_s volume = use({img.path}, img.volume_path);

    recovery_session_c session;
    ASSERT_TRUE(session.start(volume));
    ASSERT_TRUE(session.wait(60000));
    const QList<recovery_row_s> rows = recovery_writer_c::rows_of(*session.results());
    ASSERT_EQ(rows.size(), 2);

    std::promise<void> first_written, asked;
    QList<recovery_outcome_s> outcomes;
    std::thread writing([&] {
        bool first = true;
        outcomes = recovery_writer_c(session).write(rows, dir_.filePath("out"), true, [&](const recovery_outcome_s&) {
            if (std::exchange(first, false)) {
                first_written.set_value();
                asked.get_future().wait();
            }
        });
    });
    first_written.get_future().wait();
    EXPECT_TRUE(session.writing());
    EXPECT_FALSE(session.start(volume));
    EXPECT_TRUE(session.load(dir_.filePath("none.sav"), {}).contains("being written"));
    asked.set_value();
    writing.join();

    ASSERT_EQ(outcomes.size(), 2);
    EXPECT_TRUE(outcomes[0].written() && outcomes[1].written());
    EXPECT_FALSE(session.writing());
    EXPECT_TRUE(session.start(volume));
    EXPECT_TRUE(session.wait(60000));
}
