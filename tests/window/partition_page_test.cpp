// The partition page on image drives: the search through the drive page's Scan lists what
// vantrel-cli finds, Stop and Start, a new search replacing a running one, and the repair
// with its question and the box that tells what became of the drive.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "disk/device_registry.h"
#include "disk/drive_list.h"
#include "pages/drive_window.h"
#include "pages/item_list_model.h"
#include "pages/partition_window.h"
#include "pages/volume_window.h"
#include "settings/localisation.h"
#include "skin/shell_state.h"
#include "tests/support/images.h"
#include "tests/window/page_checks.h"
#include "tests/window/window_fixture.h"
#include "volumes/volume_enumeration.h"

using namespace test_images;

namespace {

QJsonObject cli_json(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTREL_IMAGES_ONLY"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VANTREL_CLI), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// Writes a partition table with sfdisk from its script.
void sfdisk(const QString& image, const QByteArray& script)
{
    QProcess p;
    p.start(tool(QStringLiteral("sfdisk")), {"--no-reread", "--no-tell-kernel", "-q", image});
    p.write(script);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

class partition_page : public window_fixture {
public:
    void SetUp() override
    {
        window_fixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        startup_done = true;
    }

    // The image becomes drive 1, as the start-up would list it, and the window is opened.
    void open_with_drive(const QString& image)
    {
        set_drive_images({image});
        enumerate_drives();
        enumerate_volumes();
        open_window();
        window->on_init_finished();
    }

    partition_window_c* page() const { return window->partitions(); }

    // Waits until the page has handled the end of its latest search.
    void wait_for_search_end()
    {
        const partition_repair_c& s = page()->search();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !s.isRunning() && s.ended_search() == s.started_search(); }, 60000));
        QTest::qWait(50);  // the queued end and the last found partition
    }

    QList<partition_item_s> listed() const
    {
        QList<partition_item_s> rows;
        const QAbstractItemModel* m = page()->lv_volumes->model();
        for (int r = 1; r < m->rowCount(); ++r) {
            rows << *held_item<partition_item_s>(m->index(r, 0).data());
        }
        return rows;
    }

    // A FAT32 at 2048 and an NTFS after it on an image whose partition table is gone.
    QString wiped_table_image()
    {
        const QString image = dir.filePath(QStringLiteral("wiped.img"));
        make_sparse(image, 64 << 20);
        splice(image, 2048, make_fat32(dir.path(), QStringLiteral("a.fat"), 70000));
        splice(image, 80000, make_ntfs(dir.path(), QStringLiteral("b.ntfs"), 40960));
        return image;
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(partition_page, search_lists_what_the_cli_finds_and_repair_rewrites_the_table)
{
    const QString image = wiped_table_image();
    open_with_drive(image);
    window->show_page(2);
    QTest::mouseClick(window->drives()->btn_scan, Qt::LeftButton);
    ASSERT_EQ(window->page(), static_cast<QWidget*>(page()));
    EXPECT_EQ(page()->search().drive()->path, image);  // row 1, the first drive
    wait_for_search_end();

    const QJsonArray expected = cli_json({"search", "--json", image})["partitions"].toArray();
    ASSERT_EQ(expected.size(), 2);
    const QList<partition_item_s> rows = listed();
    ASSERT_EQ(rows.size(), expected.size());
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject e = expected[i].toObject();
        EXPECT_EQ(rows[i].file_system, e["file_system"].toString()) << i;
        EXPECT_EQ(rows[i].start_sector, std::uint64_t(e["start_sector"].toInteger())) << i;
        EXPECT_EQ(rows[i].end_sector, std::uint64_t(e["end_sector"].toInteger())) << i;
    }
    EXPECT_LT(rows[0].start_sector, rows[1].start_sector);
    EXPECT_EQ(page()->progress().value, 1.0);
    EXPECT_EQ(page()->btn_stop->text(), QStringLiteral("Start"));

    // The bar is filled to its right end, the line above it says how the search ended, and
    // the header row names the columns.
    const QImage shown = page()->grab().toImage();
    EXPECT_NE(pixel(shown, 566, 58), QColor(226, 240, 253));
    bool status_line = false;
    for (int x = 120; x < 420 && !status_line; ++x) {
        for (int y = 28; y < 42 && !status_line; ++y) {
            status_line = pixel(shown, x, y).lightness() < 80;
        }
    }
    EXPECT_TRUE(status_line);
    EXPECT_EQ(pixel(painted_rows(page()->lv_volumes), 5, 5), QColor(232, 246, 255));

    // No answers No: nothing is written.
    const QByteArray before = file_md5(image);
    answer = QMessageBox::No;
    QTest::mouseClick(page()->btn_repair, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("partition_query"));
    EXPECT_EQ(file_md5(image), before);
    // The question shows the table that would be written: the empty old table, then both
    // found partitions with their sectors.
    const QString table = boxes[0].details;
    EXPECT_TRUE(table.startsWith(QStringLiteral("<pre>"))) << table.toStdString();
    for (const QString& part : {translate("partition_plan_after"), translate("partition_plan_empty"),
                                QStringLiteral("2048-%1").arg(rows[0].end_sector),
                                QStringLiteral("%1-%2").arg(rows[1].start_sector).arg(rows[1].end_sector),
                                translate("partition_fate_found")}) {
        EXPECT_TRUE(table.contains(part)) << part.toStdString() << " not in " << table.toStdString();
    }

    boxes.clear();
    answer = QMessageBox::Yes;
    QTest::mouseClick(page()->btn_repair, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, translate("partition_query"));
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(boxes[1].text, translate("partition_finished"));
    EXPECT_EQ(boxes[1].parent, page());

    // The image now has a table with both partitions, and Refresh lists them as volumes.
    QStringList systems;
    for (const QJsonValue v : cli_json({"volumes", "--json", image})["volumes"].toArray()) {
        systems << v.toObject()["file_system"].toString();
    }
    EXPECT_EQ(systems, (QStringList{"FAT32", "NTFS"}));
    window->show_page(1);
    QTest::mouseClick(window->volumes()->btn_refresh, Qt::LeftButton);
    QStringList rows_after;
    const QAbstractItemModel* m = window->volumes()->lv_volumes->model();
    for (int r = 1; r < m->rowCount(); ++r) {
        rows_after << held_item<volume_item_s>(m->index(r, 0).data())->volume_path;
    }
    EXPECT_EQ(rows_after, (QStringList{image + "@p1", image + "@p2"}));
}

TEST_F(partition_page, repair_that_cannot_be_written_says_why_and_changes_nothing)
{
    struct case_s {
        const char* name;
        QByteArray table;  // an sfdisk script, or none
        bool with_ntfs;
        const char* box;
    } cases[] = {
        {"gpt disk", "label: gpt\nstart=2048, size=40960\n", true, "partition_gpt_warning"},
        {"nothing found", {}, false, "partition_none_warning"},
    };
    const QString ntfs = make_ntfs(dir.path(), QStringLiteral("n.ntfs"), 40960);
    QStringList images;
    for (const case_s& c : cases) {
        const QString image = dir.filePath(QString::fromLatin1(c.name).replace(' ', '_') + ".img");
        make_sparse(image, 64 << 20);
        if (!c.table.isEmpty()) {
            sfdisk(image, c.table);
        }
        if (c.with_ntfs) {
            splice(image, 2048, ntfs);
        }
        images << image;
    }
    open_with_drive(images[0]);
    answer = QMessageBox::Yes;
    for (int i = 0; i < images.size(); ++i) {
        const case_s& c = cases[i];
        SCOPED_TRACE(c.name);
        const QByteArray before = file_md5(images[i]);
        page()->start_search(*make_drive_item(images[i]));
        wait_for_search_end();
        EXPECT_EQ(listed().size(), c.with_ntfs ? 1 : 0);
        boxes.clear();
        QTest::mouseClick(page()->btn_repair, Qt::LeftButton);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, translate(c.box));
        EXPECT_FALSE(boxes[0].text.isEmpty());
        EXPECT_EQ(file_md5(images[i]), before);
    }
    EXPECT_TRUE(QDir().entryList({"mbr-backup-*"}).isEmpty());
}

namespace {

// A memory disk whose reads after the first wait while the search runs, so a search of it
// lasts until it is stopped.
class holding_device : public memory_device {
public:
    holding_device(std::shared_ptr<std::vector<std::uint8_t>> b, const partition_repair_c* s)
        : memory_device(std::move(b), false), search(s)
    {
    }
    std::int64_t read_at(std::uint64_t off, void* buf, std::size_t n) override
    {
        while (off > 0 && search->searching()) {
            QThread::msleep(1);
        }
        return memory_device::read_at(off, buf, n);
    }

private:
    const partition_repair_c* search;
};

drive_item_s memory_drive(const QString& name, std::uint64_t bytes)
{
    drive_item_s d;
    d.path = name;
    d.size = bytes;
    d.geometry = disk_geometry_s{static_cast<std::int64_t>(bytes / (255 * 63 * 512)), 0, 255, 63, 512};
    return d;
}

}  // namespace

TEST_F(partition_page, stop_keeps_the_rows_and_a_second_click_searches_again)
{
    open_with_drive(wiped_table_image());
    auto held = std::make_shared<std::vector<std::uint8_t>>(20000 * 512);
    std::memcpy(held->data() + 63 * 512, ntfs_boot_sector(100).constData(), 512);
    register_device("mem:held",
                    [&](device_access) { return std::make_unique<holding_device>(held, &page()->search()); });
    auto other = std::make_shared<std::vector<std::uint8_t>>(20000 * 512);
    std::memcpy(other->data() + 5000 * 512, ntfs_boot_sector(200).constData(), 512);
    register_memory_device("mem:other", other);
    const partition_repair_c& s = page()->search();
    const auto wait_for_rows = [&](int n) { return QTest::qWaitFor([&] { return listed().size() == n; }, 10000); };

    window->show_page(3);
    page()->start_search(memory_drive("mem:held", held->size()));
    ASSERT_TRUE(wait_for_rows(1));
    EXPECT_TRUE(s.searching());
    EXPECT_EQ(page()->btn_stop->text(), translate("btn_stop"));
    // Repair while searching does nothing, not even a box.
    QTest::mouseClick(page()->btn_repair, Qt::LeftButton);
    EXPECT_TRUE(boxes.empty());

    QTest::mouseClick(page()->btn_stop, Qt::LeftButton);
    wait_for_search_end();
    EXPECT_EQ(listed(), QList<partition_item_s>({{"NTFS", 7, 63, 163}}));
    EXPECT_EQ(page()->btn_stop->text(), translate("btn_start"));
    EXPECT_LT(page()->progress().value, 1.0);

    // Start again: the list is emptied and the same drive searched from sector 0.
    QTest::mouseClick(page()->btn_stop, Qt::LeftButton);
    EXPECT_EQ(page()->btn_stop->text(), translate("btn_stop"));
    EXPECT_TRUE(s.searching());
    ASSERT_TRUE(wait_for_rows(1));
    EXPECT_EQ(listed(), QList<partition_item_s>({{"NTFS", 7, 63, 163}}));

    // A search of another drive while this one runs replaces it: its rows only, its drive
    // for the repair, and the earlier search's end does not turn the button to Start early.
    page()->start_search(memory_drive("mem:other", other->size()));
    wait_for_search_end();
    EXPECT_EQ(listed(), QList<partition_item_s>({{"NTFS", 7, 5000, 5200}}));
    EXPECT_EQ(s.drive()->path, QStringLiteral("mem:other"));
    EXPECT_EQ(page()->btn_stop->text(), QStringLiteral("Start"));

    // Back during a search stops it and leads to the volume page.
    page()->start_search(memory_drive("mem:held", held->size()));
    ASSERT_TRUE(wait_for_rows(1));
    QTest::mouseClick(page()->btn_back, Qt::LeftButton);
    EXPECT_FALSE(s.searching());
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->volumes()));
    wait_for_search_end();
    unregister_device("mem:held");
    unregister_device("mem:other");
}
