// vantrel-cli as a user or a script runs it: exit codes, messages and JSON documents.
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <map>
#include <unistd.h>
#include <vector>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"

using namespace test_images;

namespace {

struct cli_result_s {
    int code = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// Runs vantrel-cli; the machine's own disks are hidden unless with_disks is set.
cli_result_s cli(const QStringList& args, const QString& cwd = {}, bool with_disks = false)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!with_disks)
        env.insert("VANTREL_IMAGES_ONLY", "1");
    p.setProcessEnvironment(env);
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VANTREL_CLI, args);
    cli_result_s r;
    if (!p.waitForFinished(300000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

struct lost_disk_s {
    QTemporaryDir dir;
    QString image;
};

void build_lost_disk(lost_disk_s& d)
{
    ASSERT_TRUE(d.dir.isValid());
    d.image = d.dir.filePath("lost.img");
    make_sparse(d.image, 40 * cylinder_bytes);
    splice(d.image, 2048, make_fat32(d.dir.path(), "a.fat", 140000));
    splice(d.image, 400000, make_ntfs(d.dir.path(), "b.ntfs", 30000));
}

QJsonArray expected_partitions()
{
    return QJsonArray{
        QJsonObject{{"file_system", "FAT32"}, {"type", 12}, {"start_sector", 2048}, {"end_sector", 2047 + 140000}},
        QJsonObject{{"file_system", "NTFS"}, {"type", 7}, {"start_sector", 400000}, {"end_sector", 429999}}};
}

}  // namespace

TEST(cli, drives_search_and_repair)
{
    lost_disk_s d;
    build_lost_disk(d);
    if (HasFatalFailure())
        return;
    const QByteArray before = file_md5(d.image);

    const cli_result_s drives = cli({"drives", "--json", d.image});
    ASSERT_EQ(drives.code, 0) << drives.err.toStdString();
    const QJsonArray list = drives.json()["drives"].toArray();
    ASSERT_EQ(list.size(), 1);
    const QJsonObject first = list[0].toObject();
    EXPECT_EQ(first["number"].toInt(), 0);
    EXPECT_EQ(first["path"].toString(), d.image);
    EXPECT_EQ(first["size"].toDouble(), 40.0 * cylinder_bytes);
    EXPECT_EQ(first["cylinders"].toInt(), 40);
    EXPECT_EQ(first["tracks_per_cylinder"].toInt(), 255);
    EXPECT_EQ(first["sectors_per_track"].toInt(), 63);
    EXPECT_EQ(first["bytes_per_sector"].toInt(), 512);

    // By path, and by number with the image given as a drive.
    for (const QStringList& args :
         {QStringList{"search", d.image, "--json"}, QStringList{"search", "0", d.image, "--json"}}) {
        const cli_result_s search = cli(args);
        ASSERT_EQ(search.code, 0) << search.err.toStdString();
        EXPECT_EQ(search.json()["drive"].toString(), d.image);
        EXPECT_EQ(search.json()["partitions"].toArray(), expected_partitions());
        EXPECT_TRUE(search.err.contains("100%")) << search.err.toStdString();
    }

    const cli_result_s text = cli({"search", d.image});
    ASSERT_EQ(text.code, 0);
    EXPECT_TRUE(text.out.contains("FAT32  type 12  sectors 2048-142047")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("2 partition(s) found")) << text.out.toStdString();

    // Searching never writes, and without a terminal and without --yes, neither does repair.
    const cli_result_s refused = cli({"repair", d.image}, d.dir.path());
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("--yes")) << refused.err.toStdString();
    EXPECT_EQ(file_md5(d.image), before);

    const cli_result_s repair = cli({"repair", d.image, "--yes", "--json"}, d.dir.path());
    ASSERT_EQ(repair.code, 0) << repair.err.toStdString();
    const QJsonObject doc = repair.json();
    EXPECT_EQ(doc["result"].toInt(), 0);
    EXPECT_EQ(doc["partitions"].toArray(), expected_partitions());
    EXPECT_TRUE(QFileInfo(doc["backup"].toString()).isFile());
    EXPECT_EQ(QFileInfo(doc["backup"].toString()).absolutePath(), QDir(d.dir.path()).absolutePath());
    EXPECT_EQ(read_at(d.image, 510, 2), QByteArray("\x55\xAA"));
}

namespace {

// Writes a partition table with sfdisk from its script.
void sfdisk(const QString& image, const QByteArray& script)
{
    QProcess p;
    p.start(tool("sfdisk"), {"--no-reread", "--no-tell-kernel", "-q", image});
    p.write(script);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

struct table_entry_bytes_s {
    int type;
    std::uint32_t start;
    std::uint32_t count;
    bool operator==(const table_entry_bytes_s&) const = default;
};

void PrintTo(const table_entry_bytes_s& e, std::ostream* os)
{
    *os << "{type " << e.type << ", start " << e.start << ", count " << e.count << "}";
}

std::vector<table_entry_bytes_s> table_of(const QString& image)
{
    const QByteArray s = read_at(image, 0, 512);
    const auto* b = reinterpret_cast<const std::uint8_t*>(s.constData());
    const auto le = [&](int at) {
        return std::uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24);
    };
    std::vector<table_entry_bytes_s> entries;
    for (int e = 0; e < 4; ++e)
        if (b[446 + e * 16 + 4] != 0)
            entries.push_back({b[446 + e * 16 + 4], le(446 + e * 16 + 8), le(446 + e * 16 + 12)});
    return entries;
}

}  // namespace

TEST(cli, repair_keeps_the_partitions_it_does_not_find_and_leaves_gpt_disks_alone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ntfs = make_ntfs(dir.path(), "n.ntfs", 40960);

    // A Linux partition that the search cannot recognise, then an NTFS one that it finds.
    const QString mixed = dir.filePath("mixed.img");
    make_sparse(mixed, 64 << 20);
    sfdisk(mixed, "label: dos\nstart=2048, size=40960, type=83\nstart=43008, size=40960, type=7\n");
    run("mkfs.ext4", {"-q", "-F", "-E", "offset=1048576", mixed, "20M"});
    splice(mixed, 43008, ntfs);
    const cli_result_s repair = cli({"repair", mixed, "--yes"}, dir.path());
    ASSERT_EQ(repair.code, 0) << repair.err.toStdString();
    EXPECT_EQ(table_of(mixed), (std::vector<table_entry_bytes_s>{{0x83, 2048, 40960}, {0x07, 43008, 40960}}));
    // The question was about both tables: the Linux entry kept, the NTFS one replaced.
    EXPECT_TRUE(repair.out.contains("after the repair")) << repair.out.toStdString();
    EXPECT_TRUE(repair.out.contains("Linux")) << repair.out.toStdString();
    EXPECT_TRUE(repair.out.contains("kept")) << repair.out.toStdString();
    EXPECT_TRUE(repair.out.contains("replaced")) << repair.out.toStdString();

    // A GPT disk: the search lists what it finds, the repair writes nothing and says why.
    const QString gpt = dir.filePath("gpt.img");
    make_sparse(gpt, 64 << 20);
    sfdisk(gpt, "label: gpt\nstart=2048, size=40960\n");
    splice(gpt, 2048, ntfs);
    const QByteArray before = file_md5(gpt);
    const cli_result_s search = cli({"search", gpt, "--json"});
    ASSERT_EQ(search.code, 0);
    EXPECT_EQ(search.json()["partitions"].toArray().size(), 1);
    const cli_result_s refused = cli({"repair", gpt, "--yes", "--json"}, dir.path());
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("uses GPT")) << refused.err.toStdString();
    EXPECT_EQ(refused.json()["refusal"].toString(), "gpt_disk");
    EXPECT_EQ(file_md5(gpt), before);
    EXPECT_TRUE(QDir(dir.path()).entryList({"mbr-backup-gpt*"}).isEmpty());
}

TEST(cli, bad_input_gives_a_clear_reason)
{
    QTemporaryDir dir;
    const QString odd = dir.filePath("odd.img");
    make_sparse(odd, 3 * cylinder_bytes + 333);  // not a whole number of sectors
    write_at(odd, 63 * 512, ntfs_boot_sector(1000));
    const QString tiny = dir.filePath("tiny.img");
    make_sparse(tiny, 5000);  // shorter than one read and than one cylinder

    struct case_s {
        QStringList args;
        int code;
        const char* message;  // in stderr
    };
    const case_s cases[] = {
        {{"search", dir.filePath("missing.img")}, 1, "No such file or directory"},
        {{"search", dir.path()}, 1, "neither a disk nor an image file"},
        {{"search", "7", odd}, 1, "there is no drive 7"},
        {{"drives", dir.filePath("missing.img")}, 1, "missing.img"},
        {{"search"}, 2, "needs a DRIVE"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"search", odd, "--fast"}, 2, "unknown option --fast"},
        {{"repair", tiny, "--yes"}, 1, "no partition was found; nothing written"},
        {{"repair", "0", tiny, "--yes"}, 2, "takes the drive's path, not its number"},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const cli_result_s r = cli(c.args, dir.path());
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        // With --json the reason comes on stdout too, as a document a script can read.
        const cli_result_s j = cli(c.args + QStringList{"--json"}, dir.path());
        EXPECT_EQ(j.code, c.code);
        EXPECT_TRUE(j.json()["error"].toString().contains(c.message)) << j.out.toStdString();
    }

    const cli_result_s r = cli({"search", odd, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray parts = r.json()["partitions"].toArray();
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts[0].toObject()["start_sector"].toInt(), 63);
}

TEST(cli, volumes_of_images)
{
    QTemporaryDir dir;
    const QString whole = make_fat32(dir.path(), "whole.img", 140000);
    const QString empty = dir.filePath("empty.img");
    make_sparse(empty, 4 << 20);
    const cli_result_s r = cli({"volumes", "--json", "--image", whole, empty});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray list = r.json()["volumes"].toArray();
    ASSERT_EQ(list.size(), 2);
    const QJsonObject fat = list[0].toObject();
    EXPECT_EQ(fat["volume_path"].toString(), whole + "@p0");
    EXPECT_EQ(fat["device_name"].toString(), whole + "@p0");
    EXPECT_EQ(fat["root_path"].toString(), whole + "@p0");
    EXPECT_EQ(fat["file_system"].toString(), "FAT32");
    EXPECT_EQ(fat["label"].toString(), "LOST");
    EXPECT_EQ(fat["total_bytes"].toDouble(), 140000.0 * 512);
    EXPECT_EQ(fat["free_bytes"].toDouble(), 0.0);
    EXPECT_EQ(fat["partition_number"].toInt(), 0);
    EXPECT_EQ(fat["disk_number"].toInt(), 0);
    // A drive that holds nothing known is still a volume, with no file-system name.
    const QJsonObject blank = list[1].toObject();
    EXPECT_EQ(blank["volume_path"].toString(), empty + "@p0");
    EXPECT_EQ(blank["file_system"].toString(), "");
    EXPECT_EQ(blank["disk_number"].toInt(), 1);
}

// Work on an image opens no disk of the machine: the commands are traced with the machine's
// disks visible, and no block device node may be opened.
TEST(cli, work_on_an_image_opens_no_disk_of_the_machine)
{
    if (QProcess::execute(tool("strace"), {"-qq", "-o", "/dev/null", "true"}) != 0)
        GTEST_SKIP() << "this machine does not allow tracing a process";
    QTemporaryDir dir;
    const fat_image_s img = make_fat_image(dir.path(), "fat.img", 32, false, 70000);
    const QString a = make_file(dir.path(), "GONE.TXT", 5000, 1);
    mtools("mcopy", img, {"-m", a, "::/"});
    mtools("mdel", img, {"::/GONE.TXT"});
    lost_disk_s lost;
    build_lost_disk(lost);

    const QRegularExpression block_node(QStringLiteral("\"/dev/(sd|vd|hd|xvd|nvme|mmcblk|loop|sr)[^\"]*\""));
    const QStringList commands[] = {{"scan", img.volume_path}, {"search", lost.image}};
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        const QString trace = dir.filePath("trace.txt");
        QProcess p;
        // The leak checker of a sanitizer build cannot run under a tracer.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(tool("strace"),
                QStringList{"-f", "-qq", "-e", "trace=open,openat,openat2", "-o", trace, VANTREL_CLI} + command);
        ASSERT_TRUE(p.waitForFinished(300000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        QFile f(trace);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString opened = QString::fromLocal8Bit(f.readAll());
        ASSERT_TRUE(opened.contains(QFileInfo(command[1].section('@', 0, 0)).fileName()))
            << "the trace holds no open of the image";
        const QRegularExpressionMatch m = block_node.match(opened);
        EXPECT_FALSE(m.hasMatch()) << m.captured().toStdString();
    }
}

TEST(cli, scan_and_recover_a_fat_volume)
{
    qputenv("TZ", "UTC");
    QTemporaryDir dir;
    const fat_image_s img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
    const QString a = make_file(dir.path(), "ABC.TXT", 5000, 1);
    const QString b = make_file(dir.path(), "REPORT.TXT", 3000, 2);
    const QString c = make_file(dir.path(), "NOTE.TXT", 100, 3);
    mtools("mcopy", img, {"-m", a, "::/"});
    mtools("mmd", img, {"::/DOCS", "::/ABCDEFGHIJKLM"});
    mtools("mcopy", img, {"-m", b, "::/DOCS/"});
    mtools("mcopy", img, {"-m", c, "::/ABCDEFGHIJKLM/"});
    mtools("mdel", img, {"::/ABC.TXT", "::/DOCS/REPORT.TXT", "::/ABCDEFGHIJKLM/NOTE.TXT"});
    // The long name of the last folder now reads "..": a name that must not lead out of
    // the output folder.
    const QByteArray lfn_tail("A\0B\0C\0D\0E\0", 10);
    ASSERT_NE(patch_entry(img, "?" + lfn_tail,
                          [](QByteArray& e) {
                              const int offsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
                              const char16_t name[13] = {u'.',   u'.',   0,      0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                                                         0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
                              for (int i = 0; i < 13; ++i) {
                                  e[offsets[i]] = char(name[i] & 0xFF);
                                  e[offsets[i] + 1] = char(name[i] >> 8);
                              }
                          }),
              0u);
    const QByteArray before = file_md5(img.path);

    const cli_result_s scan = cli({"scan", img.volume_path, "--json"});
    ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
    const QJsonObject doc = scan.json();
    EXPECT_EQ(doc["engine"].toString(), "fat");
    EXPECT_EQ(doc["volume"].toString(), img.volume_path);
    QStringList found;
    for (const QJsonValue& folder : doc["folders"].toArray())
        for (const QJsonValue& file : folder.toObject()["files"].toArray())
            found << folder.toObject()["path"].toString() + " " + file.toObject()["name"].toString() + " " +
                         QString::number(file.toObject()["size"].toInteger());
    found.sort();
    EXPECT_EQ(found, (QStringList{"/ #BC.TXT 5000", "/.. #OTE.TXT 100", "/DOCS #EPORT.TXT 3000"}));

    const QString out = dir.filePath("out");
    const cli_result_s all = cli({"recover", img.volume_path, "--out", out, "--json"});
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_EQ(all.json()["written"].toArray().size(), 3);
    EXPECT_EQ(file_md5(out + "/#BC.TXT"), file_md5(a));
    EXPECT_EQ(file_md5(out + "/DOCS/#EPORT.TXT"), file_md5(b));
    EXPECT_EQ(file_md5(out + "/_../#OTE.TXT"), file_md5(c));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 4);  // nothing beside out/

    // Without --verbose stderr carries the progress lines, not the engine's console lines.
    EXPECT_TRUE(all.err.contains("recovering: 3 of 3 file(s), 7.91 KiB of 7.91 KiB")) << all.err.toStdString();
    EXPECT_FALSE(all.err.contains("file count:")) << all.err.toStdString();
    const cli_result_s verbose = cli({"scan", img.volume_path, "--verbose"});
    EXPECT_TRUE(verbose.err.contains("file count:")) << verbose.err.toStdString();

    // Every argument after the volume is a glob, also one that names a file in the current
    // folder; images come through --image.
    write_at(dir.filePath("#EPORT.TXT"), 0, "a file of the user's, not an image");
    struct glob_case_s {
        QStringList args;
        QStringList written;
    };
    const glob_case_s globs[] = {
        {{"/DOCS/*"}, {"DOCS/#EPORT.TXT"}},
        {{"#EPORT.TXT"}, {"DOCS/#EPORT.TXT"}},
        {{"--image", img.path, "#BC.TXT", "#OTE.TXT"}, {"#BC.TXT", "_../#OTE.TXT"}},
        {{"NOTHING.*"}, {}},
    };
    for (const glob_case_s& g : globs) {
        SCOPED_TRACE(g.args.join(' ').toStdString());
        QTemporaryDir some;
        const cli_result_s globbed =
            cli(QStringList{"recover", img.volume_path, "--out", some.path(), "--json"} + g.args, dir.path());
        ASSERT_EQ(globbed.code, 0) << globbed.err.toStdString();
        QStringList paths;
        for (const QJsonValue& w : globbed.json()["written"].toArray())
            paths << w.toObject()["path"].toString();
        EXPECT_EQ(paths, g.written);
    }

    EXPECT_EQ(file_md5(img.path), before);

    const cli_result_s not_fat = cli({"scan", img.path + "@p7"});
    EXPECT_EQ(not_fat.code, 1);
    EXPECT_TRUE(not_fat.err.contains("no volume")) << not_fat.err.toStdString();
}

// A deleted file whose first cluster a live file took is marked in the table and the JSON,
// fails with the reason unless --overwritten asks for it, and does not hold back the others.
TEST(cli, overwritten_files_are_marked_and_written_only_when_asked)
{
    QTemporaryDir dir;
    const fat_image_s img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
    const reused_clusters_s sources = reuse_clusters(img, dir.filePath("src"));

    const cli_result_s scan = cli({"scan", img.volume_path, "--json"});
    ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
    std::map<QString, QJsonObject> files;
    for (const QJsonValue& folder : scan.json()["folders"].toArray())
        for (const QJsonValue& file : folder.toObject()["files"].toArray())
            files[file.toObject()["name"].toString()] = file.toObject();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files["#LD.TXT"]["overwritten"], QJsonValue(true));
    EXPECT_FALSE(files["#REE.TXT"].contains("overwritten"));

    const cli_result_s table = cli({"scan", img.volume_path});
    ASSERT_EQ(table.code, 0) << table.err.toStdString();
    QStringList marked;
    for (const QString& line : QString::fromUtf8(table.out).split('\n'))
        if (line.startsWith("  ") && line.endsWith("  overwritten"))
            marked << line.trimmed().section(' ', 0, 0);
    EXPECT_EQ(marked, QStringList{"#LD.TXT"}) << table.out.toStdString();

    struct run_s {
        QStringList extra;
        int code;
        bool old_written;
    };
    for (const run_s& r : {run_s{{}, 1, false}, run_s{{"--overwritten"}, 0, true}}) {
        SCOPED_TRACE(r.extra.join(' ').toStdString());
        const QString out = dir.filePath("out" + r.extra.join(""));
        const cli_result_s rec = cli(QStringList{"recover", img.volume_path, "--out", out, "--json"} + r.extra);
        EXPECT_EQ(rec.code, r.code) << rec.err.toStdString();
        const QJsonObject doc = rec.json();
        EXPECT_EQ(file_md5(out + "/#REE.TXT"), file_md5(sources.intact));
        // Written anyway, it holds the bytes of the file that took its place.
        EXPECT_EQ(QFile::exists(out + "/#LD.TXT"), r.old_written);
        if (r.old_written) {
            EXPECT_EQ(file_md5(out + "/#LD.TXT"), file_md5(sources.live));
            EXPECT_EQ(doc["written"].toArray().size(), 2);
            EXPECT_TRUE(doc["failed"].toArray().isEmpty());
        } else {
            EXPECT_EQ(doc["written"].toArray().size(), 1);
            const QJsonArray failed = doc["failed"].toArray();
            ASSERT_EQ(failed.size(), 1);
            EXPECT_EQ(failed[0].toObject()["path"].toString(), "#LD.TXT");
            EXPECT_EQ(failed[0].toObject()["reason"].toString(),
                      "overwritten: its first cluster now belongs to another file");
            EXPECT_TRUE(rec.err.contains("#LD.TXT: overwritten")) << rec.err.toStdString();
        }
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                  r.old_written ? 2 : 1);
    }

    const cli_result_s misplaced = cli({"scan", img.volume_path, "--overwritten"});
    EXPECT_EQ(misplaced.code, 2);
}

// A deleted file whose clusters a live file took in the middle is partial, with those
// ranges zeros and told apart from unreadable ones in the table and the JSON.
TEST(cli, clusters_a_live_file_took_are_zeros_and_reported_apart)
{
    QTemporaryDir dir;
    const fat_image_s img = make_fat_image(dir.path(), "fat.img", 32, true, 36000, {"-s", "1"});
    const crossed_run_s run = cross_run(img, dir.filePath("src"), 6000, 4, 1000);

    // The scan tells already: two of its twelve clusters belong to the live file.
    const cli_result_s scan = cli({"scan", img.volume_path, "--json"});
    ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
    const QJsonArray scanned = scan.json()["folders"].toArray()[0].toObject()["files"].toArray();
    ASSERT_EQ(scanned.size(), 1) << scan.out.toStdString();
    EXPECT_EQ(scanned[0].toObject()["in_use_clusters"], QJsonValue(2));
    EXPECT_FALSE(scanned[0].toObject().contains("overwritten"));
    const cli_result_s listed = cli({"scan", img.volume_path});
    EXPECT_TRUE(listed.out.contains("  partly overwritten: 2 of 12 clusters\n")) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains("1 of them partly overwritten")) << listed.out.toStdString();

    const QString out = dir.filePath("out");
    const cli_result_s rec = cli({"recover", img.volume_path, "--out", out, "--json"});
    EXPECT_EQ(rec.code, 1) << rec.err.toStdString();
    const QJsonArray partial = rec.json()["partial"].toArray();
    ASSERT_EQ(partial.size(), 1) << rec.out.toStdString();
    const QJsonObject row = partial[0].toObject();
    EXPECT_EQ(row["path"].toString(), "#EL.BIN");
    EXPECT_EQ(row["size"].toInt(), 6000);
    EXPECT_EQ(row["unreadable"].toArray(), QJsonArray());
    EXPECT_EQ(row["in_use"].toArray(), (QJsonArray{QJsonObject{{"offset", 2048}, {"length", 1024}}}));
    EXPECT_TRUE(row["reason"].toString().contains("belong to other files")) << row["reason"].toString().toStdString();
    QByteArray expected = read_at(run.deleted, 0, 6000);
    expected.replace(2048, 1024, QByteArray(1024, '\0'));
    EXPECT_EQ(read_at(out + "/#EL.BIN", 0, 7000), expected);

    const cli_result_s table = cli({"recover", img.volume_path, "--out", dir.filePath("out2")});
    EXPECT_EQ(table.code, 1);
    EXPECT_TRUE(
        table.out.contains("partial  #EL.BIN  (6000 bytes; parts of it belong to other files now and were "
                           "written as zeros: bytes 2048-3071)"))
        << table.out.toStdString();
}

TEST(cli, scan_and_recover_an_ntfs_volume)
{
    QTemporaryDir dir;
    const QByteArray photo = random_bytes(70000, 11);
    const ntfs_image_s img = make_ntfs_image(dir.path(), "ntfs.img", {32, 0, false}, [&](const QString& m) {
        make_folder(m + "/photos");
        write_file(m + "/photos/beach.jpg", photo);
        write_file(m + "/photos/kept.jpg", "live");
        QFile::remove(m + "/photos/beach.jpg");
    });
    const cli_result_s scan = cli({"scan", img.volume_path, "--json"});
    ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.json()["engine"].toString(), "ntfs");
    const QString out = dir.filePath("out");
    const cli_result_s rec = cli({"recover", img.volume_path, "--out", out, "*.jpg", "--json"});
    ASSERT_EQ(rec.code, 0) << rec.err.toStdString();
    const QJsonArray written = rec.json()["written"].toArray();
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written[0].toObject()["path"].toString(), "photos/beach.jpg");
    QFile f(out + "/photos/beach.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), photo);
}

TEST(cli, deep_scan_saved_and_loaded)
{
    QTemporaryDir dir;
    // A gzip stream at sector 1000 of an image without a file system.
    const QString blob = dir.filePath("blob");
    write_at(blob, 0, random_bytes(300000, 5));
    run("gzip", {"-k", "-9", blob});
    QFile gz(blob + ".gz");
    ASSERT_TRUE(gz.open(QIODevice::ReadOnly));
    const QByteArray packed = gz.readAll();
    const QString image = dir.filePath("raw.img");
    make_sparse(image, 8 << 20);
    write_at(image, 1000 * 512, packed);
    const QString volume = image + "@p0";

    const QString sav = dir.filePath("results.sav");
    const cli_result_s scan = cli({"scan", volume, "--deep", "--save", sav, "--json"});
    ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
    EXPECT_EQ(scan.json()["engine"].toString(), "deep");
    EXPECT_EQ(QFileInfo(sav).size(), 256 + 32);
    const cli_result_s table = cli({"scan", volume, "--deep"});
    EXPECT_TRUE(table.out.contains("1 file(s) found by their content in")) << table.out.toStdString();

    const QString out = dir.filePath("out");
    const cli_result_s rec = cli({"recover", volume, "--out", out, "--deep", "--load", sav, "--json"});
    ASSERT_EQ(rec.code, 0) << rec.err.toStdString();
    QFile back(out + "/gz/00000000.gz");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), packed);

    write_at(dir.filePath("short.sav"), 0, QByteArray(300, 'x'));
    const cli_result_s bad = cli({"recover", volume, "--out", out, "--deep", "--load", dir.filePath("short.sav")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(bad.err.contains("not a scan-result file")) << bad.err.toStdString();
    EXPECT_EQ(cli({"scan", volume, "--save", sav}).code, 2);
}

namespace {

// Readies a process that runs vantrel-cli under a tracer: the machine's disks hidden, and
// the leak checker of a sanitizer build (which cannot run under a tracer) off.
void prepare_traced(QProcess& p)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_IMAGES_ONLY", "1");
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
}

// The tracer's command line that runs vantrel-cli with every read delayed; a recovery from
// an image file copies through copy_file_range rather than reading.
QStringList slowed_command(const QStringList& args, int delay_us)
{
    return QStringList{tool("strace"),
                       "-f",
                       "-qq",
                       "-o",
                       "/dev/null",
                       "-e",
                       "trace=pread64,copy_file_range",
                       "-e",
                       QStringLiteral("inject=pread64,copy_file_range:delay_exit=%1").arg(delay_us),
                       VANTREL_CLI} +
           args;
}

// Whether strace may run here and delay a traced program's system calls.
bool tracer_can_delay()
{
    return QProcess::execute(tool("strace"), {"-qq", "-o", "/dev/null", "-e", "inject=getpid:delay_exit=1", "true"}) ==
           0;
}

// A gzip stream of `size` random bytes, made by gzip.
QByteArray gzip_stream(const QTemporaryDir& dir, int size, int seed)
{
    const QString blob = dir.filePath(QStringLiteral("blob-%1").arg(seed));
    write_at(blob, 0, random_bytes(size, seed));
    run("gzip", {"-k", "-9", blob});
    return read_at(blob + ".gz", 0, 1 << 20);
}

// An image file `name` in dir of `bytes` zero bytes with `packed` written at each offset.
QString image_with_streams(const QTemporaryDir& dir, const QString& name, int bytes, const QByteArray& packed,
                           const std::vector<std::uint64_t>& offsets)
{
    const QString image = dir.filePath(name);
    write_at(image, 0, QByteArray(bytes, '\0'));
    for (const std::uint64_t at : offsets)
        write_at(image, at, packed);
    return image;
}

// Runs vantrel-cli with every read of a volume slowed down by a tracer, and sends it a
// signal two seconds after its first progress line (starting with `line`) shows that it
// is at work with its handlers in place.
cli_result_s slowed_cli(const QStringList& args, const QByteArray& line, int signal)
{
    cli_result_s r;
    QProcess p;
    prepare_traced(p);
    const QStringList command = slowed_command(args, 250000);
    p.start(command[0], command.mid(1));
    if (!p.waitForStarted())
        return r;
    QByteArray err;
    while (!err.contains(line) && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError();
    }
    // The program runs as the tracer's child.
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(p.processId()));
    const pid_t pid = children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().split(' ').value(0).toInt() : 0;
    EXPECT_TRUE(err.contains(line)) << err.toStdString();
    EXPECT_GT(pid, 0);
    if (pid > 0) {
        QThread::msleep(2000);
        EXPECT_EQ(::kill(pid, signal), 0);
    }
    if (!p.waitForFinished(120000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromLocal8Bit(err + p.readAllStandardError());
    return r;
}

}  // namespace

// SIGTERM or SIGHUP during a deep scan with --save stops it, keeps what it found and saves
// that; during a recovery they stop it after the file being written, which is kept whole,
// and nothing half-written is left. The tracer slows every read, so the work is still
// running long after the signal is sent.
TEST(cli, a_signal_stops_a_deep_scan_or_a_recovery_and_keeps_what_was_done)
{
    if (!tracer_can_delay())
        GTEST_SKIP() << "this machine does not allow tracing a process with delays";
    QTemporaryDir dir;
    const QByteArray packed = gzip_stream(dir, 200000, 7);
    // A gzip stream every 3 MiB of 48 MiB, all of it data (no holes to skip).
    const int streams = 16;
    std::vector<std::uint64_t> offsets;
    for (int i = 0; i < streams; ++i)
        offsets.push_back(std::uint64_t(i) * (3 << 20) + 4096);
    const QString image = image_with_streams(dir, "slow.img", 48 << 20, packed, offsets);
    const QString volume = image + "@p0";

    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const QString sav = dir.filePath(QStringLiteral("stopped-%1.sav").arg(signal));
        const cli_result_s scan = slowed_cli({"scan", volume, "--deep", "--save", sav, "--json"}, "scanning", signal);
        ASSERT_EQ(scan.code, 0) << scan.err.toStdString();
        EXPECT_TRUE(scan.json()["stopped"].toBool());
        const int found = scan.json()["found_count"].toInt();
        EXPECT_GE(found, 1);
        EXPECT_LT(found, streams);
        EXPECT_TRUE(scan.err.contains("results saved to")) << scan.err.toStdString();

        // The saved results load and give back the files found before the signal.
        const QString out = dir.filePath(QStringLiteral("out-%1").arg(signal));
        const cli_result_s rec = cli({"recover", volume, "--out", out, "--deep", "--load", sav, "--json"});
        ASSERT_EQ(rec.code, 0) << rec.err.toStdString();
        EXPECT_EQ(rec.json()["written"].toArray().size(), found);
        EXPECT_EQ(read_at(out + "/gz/00000000.gz", 0, 1 << 20), packed);
    }

    // A recovery of all sixteen, stopped.
    const QString all = dir.filePath("all.sav");
    ASSERT_EQ(cli({"scan", volume, "--deep", "--save", all}).code, 0);
    const QString out = dir.filePath("out-all");
    const cli_result_s rec =
        slowed_cli({"recover", volume, "--out", out, "--deep", "--load", all, "--json"}, "recovering", SIGTERM);
    EXPECT_EQ(rec.code, 1);
    EXPECT_TRUE(rec.json()["stopped"].toBool()) << rec.out.toStdString();
    const QJsonArray written = rec.json()["written"].toArray();
    EXPECT_GE(written.size(), 1);
    EXPECT_EQ(rec.json()["not_written"].toInt(), streams - written.size());
    EXPECT_TRUE(rec.err.contains("stopped;")) << rec.err.toStdString();
    const QStringList files = QDir(out + "/gz").entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), written.size()) << files.join(' ').toStdString();
    for (const QString& f : files)
        EXPECT_EQ(read_at(out + "/gz/" + f, 0, 1 << 20), packed) << f.toStdString();
}

// On a terminal the progress line is rewritten in place, and each file's line comes on a
// line of its own rather than after the progress text. Reads are slowed by a tracer so that
// the progress line is on the screen before the first file is written.
TEST(cli, progress_line_and_file_lines_do_not_run_together_on_a_terminal)
{
    if (!tracer_can_delay())
        GTEST_SKIP() << "this machine does not allow tracing a process with delays";
    // Two gzip streams found by a deep scan; the recovery reads only them, from saved results.
    QTemporaryDir dir;
    const QByteArray packed = gzip_stream(dir, 100000, 3);
    const QString image = image_with_streams(dir, "two.img", 4 << 20, packed, {4096, 2 << 20});
    const QString sav = dir.filePath("two.sav");
    ASSERT_EQ(cli({"scan", image + "@p0", "--deep", "--save", sav}).code, 0);
    const QString out = dir.filePath("out");
    const QStringList command =
        slowed_command({"recover", image + "@p0", "--out", out, "--deep", "--load", sav}, 300000);
    QStringList quoted;
    for (const QString& a : command)
        quoted << "'" + a + "'";
    QProcess p;
    prepare_traced(p);
    p.start(tool("script"), {"-qec", quoted.join(' '), "/dev/null"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray screen = p.readAllStandardOutput();
    ASSERT_EQ(p.exitCode(), 0) << screen.toStdString();
    EXPECT_TRUE(screen.contains("\rrecovering: ")) << screen.toStdString();
    // Each file's line begins a line: after a newline, or after the progress line was cleared.
    int lines = 0;
    for (qsizetype at = screen.indexOf("written  "); at >= 0; at = screen.indexOf("written  ", at + 1), ++lines)
        EXPECT_TRUE(screen.mid(at - 1, 1) == "\n" || screen.mid(at - 4, 4) == "\r\x1b[K") << screen.toStdString();
    EXPECT_EQ(lines, 2) << screen.toStdString();
}

// A volume whose file system cannot be read is a failed scan with its reason, never a
// volume without deleted files.
TEST(cli, a_scan_that_cannot_start_fails_with_the_reason)
{
    QTemporaryDir dir;
    const QString whole = make_ntfs(dir.path(), "whole.ntfs", 40960);
    // Cut just after the first MFT records: the volume still reads as NTFS (boot sector,
    // $MFT and $Volume are there), but the rest of its metadata is gone.
    const QByteArray boot = read_at(whole, 0, 512);
    const auto le = [&](int at, int n) {
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = v << 8 | static_cast<std::uint8_t>(boot[at + i]);
        return v;
    };
    const std::uint64_t mft = le(0x30, 8) * le(0x0B, 2) * le(0x0D, 1);
    const std::uint64_t kept = mft + 4096;
    const QString cut = dir.filePath("cut.img");
    write_at(cut, 0, read_at(whole, 0, kept));
    const QString volume = cut + "@p0";
    const cli_result_s volumes = cli({"volumes", "--json", cut});
    ASSERT_EQ(volumes.json()["volumes"].toArray()[0].toObject()["file_system"].toString(), "NTFS")
        << volumes.out.toStdString();

    const cli_result_s text = cli({"scan", volume});
    EXPECT_EQ(text.code, 1);
    EXPECT_FALSE(text.out.contains("deleted file(s)")) << text.out.toStdString();
    EXPECT_TRUE(text.err.contains("could not be made")) << text.err.toStdString();
    EXPECT_TRUE(text.err.contains(QStringLiteral("holds %1 bytes, but its file system says").arg(kept)))
        << text.err.toStdString();
    const cli_result_s json = cli({"scan", volume, "--json"});
    EXPECT_EQ(json.code, 1);
    EXPECT_TRUE(json.json()["error"].toString().contains("truncated image")) << json.out.toStdString();
    const cli_result_s rec = cli({"recover", volume, "--out", dir.filePath("out")});
    EXPECT_EQ(rec.code, 1);
    EXPECT_TRUE(rec.err.contains("could not be made")) << rec.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out")));
}

TEST(cli, names_from_the_disk_cannot_act_on_the_terminal)
{
    // A deleted file whose name holds an ESC byte, as a damaged or crafted volume may.
    QTemporaryDir dir;
    const QString image = dir.filePath("esc.img");
    run("mkfs.fat", {"-C", image, "8192"});
    write_at(dir.filePath("a.txt"), 0, "hi\n");
    // And long names of wide characters, two columns each on a terminal.
    const QString cjk = QString::fromUtf8("写真の記録.txt");
    qputenv("LC_ALL", "C.UTF-8");
    for (const QString& name : {QStringLiteral("BADXNAME.TXT"), cjk, QStringLiteral("plain_name.txt")})
        run("mcopy", {"-i", image, dir.filePath("a.txt"), "::" + name});
    run("mdel", {"-i", image, "::BADXNAME.TXT", "::" + cjk, "::plain_name.txt"});
    qunsetenv("LC_ALL");
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype at = bytes.indexOf(
        "\xe5"
        "ADXNAME");
    ASSERT_GE(at, 0);
    bytes[at + 3] = '\x1b';
    f.seek(0);
    f.write(bytes);
    f.close();

    const cli_result_s text = cli({"scan", image + "@p0", image});
    ASSERT_EQ(text.code, 0) << text.err.toStdString();
    EXPECT_FALSE(text.out.contains('\x1b'));
    EXPECT_TRUE(text.out.contains("#AD\\x1bNAME.TXT")) << text.out.toStdString();
    // The size column lines up whatever the names hold: each name is padded to 30 columns
    // as shown (an escape counts as the four characters printed for it).
    const struct {
        QString shown;
        int columns;
    } rows[] = {{"#AD\\x1bNAME.TXT", 15}, {cjk, 14}, {"plain_name.txt", 14}};
    const QString listing = QString::fromUtf8(text.out);
    for (const auto& r : rows)
        EXPECT_TRUE(listing.contains("  " + r.shown + QString(30 - r.columns + 2 + 11, ' ') + "3  "))
            << r.shown.toStdString() << "\n"
            << text.out.toStdString();
    // JSON keeps the name as it is, escaped by JSON's own rules.
    const cli_result_s json = cli({"scan", image + "@p0", image, "--json"});
    EXPECT_TRUE(json.out.contains("#AD\\u001bNAME.TXT")) << json.out.toStdString();
}

TEST(cli, refuses_to_recover_onto_the_scanned_volume)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a volume needs root";
    QTemporaryDir dir;
    // A file system this kernel mounts (ext2); the refusal comes before any scan.
    const QString image = dir.filePath("ext2.img");
    make_sparse(image, 16 << 20);
    run("mke2fs", {"-q", "-F", image});
    QProcess losetup;
    losetup.start(tool("losetup"), {"--find", "--show", image});
    ASSERT_TRUE(losetup.waitForFinished(20000));
    const QString loop = QString::fromLocal8Bit(losetup.readAllStandardOutput()).trimmed();
    if (loop.isEmpty())
        GTEST_SKIP() << "this machine gives no loop device";
    const QString mnt = dir.filePath("mnt");
    QDir().mkpath(mnt);
    const bool mounted = QProcess::execute(tool("mount"), {"-o", "ro", loop, mnt}) == 0;
    cli_result_s r;
    if (mounted) {
        r = cli({"recover", loop, "--out", mnt + "/rescued/deeper"}, {}, true);
        QProcess::execute(tool("umount"), {mnt});
    }
    QProcess::execute(tool("losetup"), {"-d", loop});
    if (!mounted)
        GTEST_SKIP() << "this machine does not let us mount a file system";
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("lies on the volume being recovered")) << r.err.toStdString();
}

// The demo image that the README walks through: its lost partitions are found and written
// back beside the one entry the table kept, then each road finds its files and brings them
// back, and a file that lies on several volumes comes back the same from each of them.
TEST(cli, demo_image_gives_files_on_every_road)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = dir.filePath("demo.img");
    QProcess make;
    make.setProcessChannelMode(QProcess::MergedChannels);
    make.start("bash", {QStringLiteral(VANTREL_SOURCE_DIR "/tools/make_demo_image.sh"), image});
    ASSERT_TRUE(make.waitForFinished(300000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAll().toStdString();

    // Before the repair the only volume is the data partition, without a file system.
    const QJsonArray before = cli({"volumes", "--json", image}).json()["volumes"].toArray();
    ASSERT_EQ(before.size(), 1);
    EXPECT_EQ(before[0]["file_system"].toString(), "");

    const cli_result_s repair = cli({"repair", image, "--yes", "--json"}, dir.path());
    ASSERT_EQ(repair.code, 0) << repair.err.toStdString();
    EXPECT_EQ(
        repair.json()["partitions"].toArray(),
        (QJsonArray{
            QJsonObject{{"file_system", "FAT32"}, {"type", 12}, {"start_sector", 2048}, {"end_sector", 206847}},
            QJsonObject{{"file_system", "NTFS"}, {"type", 7}, {"start_sector", 264192}, {"end_sector", 673791}}}));

    struct road_s {
        const char* volume;
        const char* engine;
        QStringList files;
    };
    const road_s roads[] = {
        {"@p1",
         "fat",
         {"/#rip2025/#oster.png", "/#rip2025/#ower.jpg", "/#rip2025/#rip.htm", "/Notes/#etter.txt",
          "/Notes/#hopping.txt", "/Photos/#ldtown.jpg", "/Photos/#unset.jpg"}},
        {"@p2",
         "ntfs",
         {"/Old drafts/poster draft.png", "/Old drafts/shopping list.txt", "/Reports/Harbour.jpg",
          "/Reports/minutes.txt"}},
        {"@p3",
         "deep",
         {"/csv/00000006.csv", "/gz/00000005.gz", "/html/00000004.html", "/jpg/00000000.jpg", "/jpg/00000003.jpg",
          "/png/00000001.png", "/txt/00000002.txt"}},
    };
    for (const road_s& road : roads) {
        SCOPED_TRACE(road.volume);
        const QString volume = image + road.volume;
        const QJsonObject scan = cli({"scan", volume, "--json"}).json();
        EXPECT_EQ(scan["engine"].toString(), road.engine);
        QStringList found;
        for (const QJsonValue folder : scan["folders"].toArray()) {
            const QString path = folder["path"].toString();
            for (const QJsonValue file : folder["files"].toArray())
                found << (path == "/" ? QString() : path) + "/" + file["name"].toString();
        }
        found.sort();
        EXPECT_EQ(found, road.files);
        const QJsonObject recovered = cli({"recover", volume, "--out", dir.filePath(road.engine), "--json"}).json();
        EXPECT_EQ(recovered["written"].toArray().size(), road.files.size());
        EXPECT_TRUE(recovered["failed"].toArray().isEmpty());
    }

    const auto bytes = [&](const QString& path) {
        QFile f(dir.filePath(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // The same file through different roads, each group's first one a whole photo.
    const QStringList same[] = {
        {"fat/Photos/#unset.jpg", "deep/jpg/00000000.jpg"},
        {"fat/Photos/#ldtown.jpg", "deep/jpg/00000003.jpg"},
        {"fat/#rip2025/#oster.png", "ntfs/Old drafts/poster draft.png", "deep/png/00000001.png"},
        {"fat/Notes/#hopping.txt", "ntfs/Old drafts/shopping list.txt"},
        {"fat/Notes/#etter.txt", "deep/txt/00000002.txt"},
        {"fat/#rip2025/#rip.htm", "deep/html/00000004.html"},
    };
    for (const QStringList& group : same) {
        const QByteArray first = bytes(group[0]);
        EXPECT_FALSE(first.isEmpty()) << group[0].toStdString();
        for (const QString& other : group.mid(1))
            EXPECT_EQ(bytes(other), first) << other.toStdString() << " differs from " << group[0].toStdString();
    }
    for (const char* photo : {"fat/#rip2025/#ower.jpg", "ntfs/Reports/Harbour.jpg", "deep/jpg/00000000.jpg"}) {
        const QByteArray jpeg = bytes(photo);
        EXPECT_TRUE(jpeg.startsWith("\xFF\xD8") && jpeg.endsWith("\xFF\xD9")) << photo;
    }
    QProcess gunzip;
    gunzip.start("gzip", {"-dc", dir.filePath("deep/gz/00000005.gz")});
    ASSERT_TRUE(gunzip.waitForFinished(20000));
    EXPECT_EQ(gunzip.readAllStandardOutput(), bytes("ntfs/Reports/minutes.txt"));
}
