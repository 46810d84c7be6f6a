// The recovery page in the real main window on an image drive: a FAT volume chosen on the
// volume page and scanned, its tree and rows the same as the command line's scan of that
// volume, checked rows recovered into a folder byte for byte, and the table's sorting, header
// check box and keyboard toggling.
#include <QBuffer>
#include <QDesktopServices>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <map>

#include "disk/drive_list.h"
#include "app/home_window.h"
#include "pages/volume_window.h"
#include "results/file_preview.h"
#include "results/recovery_window.h"
#include "results/result_models.h"
#include "settings/localisation.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "tests/support/ntfs_images.h"
#include "tests/window/window_fixture.h"
#include "volumes/volume_enumeration.h"

using namespace test_images;

namespace {

// One row as the command line prints it and as the page holds it.
QJsonObject row_json(const recovery_item_s& r)
{
    QJsonObject o{{"name", r.name},           {"size", double(r.size)}, {"date1", double(r.date1)},
                  {"date2", double(r.date2)}, {"id", double(r.id)},     {"flags", double(r.flags)}};
    if (r.overwritten)
        o.insert("overwritten", true);
    if (r.in_use_clusters > 0)
        o.insert("in_use_clusters", double(r.in_use_clusters));
    return o;
}

class recovery_page : public window_fixture {
public:
    void SetUp() override
    {
        qputenv("TZ", "UTC");
        tzset();
        qputenv("VANTREL_IMAGES_ONLY", "1");
        window_fixture::SetUp();
        ASSERT_TRUE(dir.isValid());
    }

    void TearDown() override
    {
        window_fixture::TearDown();
        set_drive_images({});
        qunsetenv("VANTREL_IMAGES_ONLY");
    }

    // A FAT image with deleted files in its root and in a deleted folder.
    void make_volume()
    {
        img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
        // Long names, so that the deleted entries keep their first letters.
        originals["alpha_file.txt"] = make_file(dir.path(), "alpha_file.txt", 5000, 1);
        originals["Zeta_file.bin"] = make_file(dir.path(), "Zeta_file.bin", 70000, 2);
        originals["Report.txt"] = make_file(dir.path(), "Report.txt", 3000, 3);
        originals["a_note.txt"] = make_file(dir.path(), "a_note.txt", 100, 4, "1999-01-02 03:04:05");
        mtools("mcopy", img, {"-m", originals["alpha_file.txt"], originals["Zeta_file.bin"], "::/"});
        mtools("mmd", img, {"::/Documents"});
        mtools("mcopy", img, {"-m", originals["Report.txt"], originals["a_note.txt"], "::/Documents/"});
        mtools("mdel", img, {"::/alpha_file.txt", "::/Zeta_file.bin"});
        mtools("mdeltree", img, {"::/Documents"});
    }

    // Opens the window on the image, chooses its volume on the volume page and scans it.
    // Nothing else prepares the engines: the page's session opens the FAT drive table over
    // the drive list as the scan starts.
    void scan_through_window() { scan_through_window(img.path, img.volume_path); }
    // `adjust` may change the listed volumes before the window shows them.
    void scan_through_window(const QString& image, const QString& volume_path,
                             const std::function<void(QList<volume_item_s>&)>& adjust = {})
    {
        set_drive_images({image});
        enumerate_volumes();
        if (adjust)
            adjust(volume_item_list);
        startup_done = true;
        open_window();
        window->on_init_finished();
        window->show_page(1);
        volume_window_c* volumes = window->volumes();
        bool chosen = false;
        for (int row = 1; row < volumes->lv_volumes->model()->rowCount() && !chosen; ++row) {
            const QRect r = volumes->lv_volumes->visualRect(volumes->lv_volumes->model()->index(row, 0));
            QTest::mouseClick(volumes->lv_volumes->viewport(), Qt::LeftButton, {}, r.center());
            const std::optional<volume_item_s> v = volumes->selected_volume();
            chosen = v && v->volume_path == volume_path;
        }
        ASSERT_TRUE(chosen) << "no row for " << volume_path.toStdString();
        QTest::mouseClick(volumes->btn_scan, Qt::LeftButton);
        ASSERT_EQ(window->page(), static_cast<QWidget*>(window->recovery()));
        QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 120000);
    }

    // Clicks a folder of the tree as the user would.
    void click_folder(const QModelIndex& index)
    {
        recovery_window_c* page = window->recovery();
        page->tv_dirtree->scrollTo(index);
        const QRect r = page->tv_dirtree->visualRect(index);
        ASSERT_TRUE(r.isValid());
        QTest::mouseClick(page->tv_dirtree->viewport(), Qt::LeftButton, {}, r.center());
    }

    void click_cell(int row, int column)
    {
        MyQTableView* table = window->recovery()->table_view;
        const QRect r = table->visualRect(table->model()->index(row, column));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, r.center());
    }

    // The shown folder's rows as the table shows them: the row named `marked` has the
    // suffix after its name and the tool tip, every other row its bare name and none.
    void expect_only_marked(const QString& marked, const QString& suffix, const QString& tip)
    {
        recovery_window_c* page = window->recovery();
        const QAbstractItemModel* table = page->table_view->model();
        for (int row = 0; row < page->rows.size(); ++row) {
            const recovery_item_s r = page->rows[row];
            SCOPED_TRACE(r.name.toStdString());
            const bool is_marked = r.name == marked;
            EXPECT_EQ(cell_text(r, 1), is_marked ? r.name + "  (" + suffix + ")" : r.name);
            EXPECT_EQ(table->index(row, 1).data(Qt::ToolTipRole).toString(), is_marked ? tip : QString());
        }
    }

    // Every folder of the tree (walked through the view's model and clicked) with its rows.
    QJsonArray shown_folders()
    {
        recovery_window_c* page = window->recovery();
        page->tv_dirtree->expandAll();
        QJsonArray out;
        std::function<void(const QModelIndex&, const QString&)> visit = [&](const QModelIndex& index,
                                                                            const QString& path) {
            click_folder(index);
            QJsonArray files;
            for (const recovery_item_s& r : page->rows)
                files.append(row_json(r));
            out.append(QJsonObject{{"path", path}, {"files", files}});
            const QAbstractItemModel* m = page->tv_dirtree->model();
            for (int i = 0; i < m->rowCount(index); ++i) {
                const QModelIndex child = m->index(i, 0, index);
                visit(child, (path == "/" ? QString() : path) + "/" + child.data().toString());
            }
        };
        const QModelIndex root = page->tv_dirtree->model()->index(0, 0);
        if (root.isValid())
            visit(root, root.data().toString());
        return out;
    }

    // Checks every row of the folder shown, presses Recover and answers the folder dialog with
    // `folder`; the box that ends the recovery is the last of `boxes`.
    void recover_all_into(const QString& folder)
    {
        recovery_window_c* page = window->recovery();
        page->on_check_all(true);
        set_file_dialog_hook([&](const file_dialog_request_s&) { return folder; });
        const std::size_t before = boxes.size();
        QTest::mouseClick(page->btn_recovery, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(boxes.size() > before, 60000);
        cancel_file_dialogs();
    }

    // A FAT32 volume whose root held twelve files of 4 MiB and a little more, now deleted:
    // each small enough to preview, together enough for a recovery that takes a while.
    // Their contents by size.
    std::map<std::uint64_t, QByteArray> make_busy_volume()
    {
        img = make_fat_image(dir.path(), "busy.img", 32, true, 96 * 1024);
        std::vector<made_file_s> files;
        for (int i = 0; i < 12; ++i)
            files.push_back(
                {QStringLiteral("busy_file_%1.bin").arg(i), std::size_t(4 << 20) + std::size_t(i) * 4099, 20 + i});
        const QStringList sources = deleted_files(img, dir.path() + "/src", files);
        std::map<std::uint64_t, QByteArray> by_size;
        for (std::size_t i = 0; i < files.size(); ++i) {
            QFile f(sources[int(i)]);
            by_size[files[i].size] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        return by_size;
    }

    // Checks every row of the folder shown and presses Recover into `folder`; the writer
    // runs on when this returns.
    void start_recovering_all(const QString& folder)
    {
        recovery_window_c* page = window->recovery();
        page->on_check_all(true);
        set_file_dialog_hook([folder](const file_dialog_request_s&) { return folder; });
        QTest::mouseClick(page->btn_recovery, Qt::LeftButton);
        cancel_file_dialogs();
    }

    QTemporaryDir dir;
    fat_image_s img;
    std::map<QString, QString> originals;
};

QJsonObject cli_scan(const QString& volume, const QString& image)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(VANTREL_CLI, {"scan", volume, "--json", image});
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QByteArray content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST_F(recovery_page, fat_scan_shows_what_the_command_line_finds_and_recovers_checked_files)
{
    make_volume();
    scan_through_window();
    recovery_window_c* page = window->recovery();
    EXPECT_TRUE(boxes.empty()) << "no deep-scan question after a scan that found files";

    const QJsonObject cli = cli_scan(img.volume_path, img.path);
    ASSERT_EQ(cli["engine"].toString(), "fat");
    EXPECT_EQ(page->found_files(), cli["found_count"].toInteger());
    EXPECT_GT(page->session().read_count(), 0);
    EXPECT_EQ(page->status_text(), translate("recovery_finished") + " " + translate("recovery_reading") +
                                       QString::number(page->session().read_count()));
    const QJsonArray shown = shown_folders();
    EXPECT_EQ(shown, cli["folders"].toArray()) << QJsonDocument(QJsonObject{{"shown", shown}}).toJson().toStdString();

    // The deleted folder (the root's one sub-folder): check both rows with clicks on their
    // boxes, then recover them.
    const QAbstractItemModel* tree = page->tv_dirtree->model();
    const QModelIndex docs = tree->index(0, 0, tree->index(0, 0));
    ASSERT_TRUE(docs.isValid());
    click_folder(docs);
    ASSERT_EQ(page->rows.size(), 2);
    click_cell(0, 0);
    click_cell(1, 0);
    click_cell(1, 1);  // a click on the name leaves the check alone
    EXPECT_TRUE(page->rows[0].checked && page->rows[1].checked);
    const QList<recovery_item_s> checked = page->rows;

    QTemporaryDir out;
    QList<file_dialog_request_s> asked;
    set_file_dialog_hook([&](const file_dialog_request_s& r) {
        asked.append(r);
        return out.path() + "/found";
    });
    url_recorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QTest::mouseClick(page->btn_recovery, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.empty(), 60000);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].kind, file_dialog_kind::directory);
    EXPECT_EQ(asked[0].directory, QDir::homePath());
    EXPECT_EQ(boxes[0].text, translate("recovery_written").arg(2).arg(out.path() + "/found"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0].toLocalFile(), out.path() + "/found");
    // Each file holds the original of its size (the two differ in size).
    const std::map<std::uint64_t, QString> by_size = {{3000, originals["Report.txt"]}, {100, originals["a_note.txt"]}};
    for (const recovery_item_s& r : checked) {
        SCOPED_TRACE(r.name.toStdString());
        ASSERT_EQ(by_size.count(r.size), 1u);
        EXPECT_EQ(content(out.path() + "/found/" + r.name), content(by_size.at(r.size)));
    }
    EXPECT_EQ(QDir(out.path() + "/found").entryList(QDir::Files | QDir::Hidden).size(), 2);

    // Nothing checked: a warning, and no folder is asked for.
    boxes.clear();
    page->on_check_all(false);
    QTest::mouseClick(page->btn_recovery, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("recovery_check_warning"));
    EXPECT_EQ(asked.size(), 1);
}

TEST_F(recovery_page, table_sorts_per_column_and_checks_by_header_and_keyboard)
{
    make_volume();
    scan_through_window();
    recovery_window_c* page = window->recovery();
    click_folder(page->tv_dirtree->model()->index(0, 0));
    ASSERT_EQ(page->rows.size(), 2);

    const auto sizes = [&] {
        QList<std::uint64_t> n;
        for (const recovery_item_s& r : page->rows)
            n << r.size;
        return n;
    };
    MyHeaderView* header = page->header;
    const auto press_header = [&](int x) { QTest::mousePress(header->viewport(), Qt::LeftButton, {}, {x, 5}); };
    const int name_x = header->sectionSize(0) + 5;
    const int size_x = header->sectionPosition(2) + 5;
    // The names are the deleted short names of "alpha_file.txt" (5000 bytes) and
    // "Zeta_file.bin" (70000 bytes), whose first letters are lost: "#E..." sorts first.
    struct step_s {
        int x;
        QList<std::uint64_t> expected;
    } steps[] = {
        {name_x, {70000, 5000}},
        {size_x, {5000, 70000}},
        {name_x, {5000, 70000}},  // the name column's own second press: descending
        {size_x, {70000, 5000}},
    };
    for (const step_s& s : steps) {
        press_header(s.x);
        EXPECT_EQ(sizes(), s.expected) << s.x;
    }
    // Exactly on the border between name and size: no sort.
    press_header(header->sectionPosition(2));
    EXPECT_EQ(sizes(), steps[3].expected);

    // The header box checks all, then unchecks all.
    for (bool all : {true, false}) {
        press_header(5);
        EXPECT_EQ(header->all_checked, all);
        for (const recovery_item_s& r : page->rows)
            EXPECT_EQ(bool(r.checked), all) << r.name.toStdString();
    }

    // Down from row 0 in the check column toggles row 1.
    click_cell(0, 0);
    EXPECT_TRUE(page->rows[0].checked);
    QTest::keyClick(page->table_view, Qt::Key_Down);
    EXPECT_TRUE(page->rows[1].checked);
}

TEST_F(recovery_page, back_while_scanning_discards_the_scan)
{
    img = make_fat_image(dir.path(), "fat.img", 32, false, 65536);
    scan_through_window();
    recovery_window_c* page = window->recovery();
    ASSERT_FALSE(scan_busy);
    // A new scan, left at once: the page comes back empty and free for the next one.
    answer = QMessageBox::Yes;
    ASSERT_EQ(page->start_recovery(page->volume, 0), 0);
    EXPECT_TRUE(scan_busy);
    window->show_page(4);
    QTest::mouseClick(page->btn_back, Qt::LeftButton);
    EXPECT_FALSE(scan_busy);
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->volumes()));
    EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);
    EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
    EXPECT_TRUE(page->btn_stop->isHidden());
}

TEST_F(recovery_page, page_before_any_scan_offers_start_which_leads_to_choosing_a_volume)
{
    startup_done = true;
    open_window();
    window->on_init_finished();
    window->show_page(4);
    recovery_window_c* page = window->recovery();
    EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
    EXPECT_TRUE(page->btn_pause->isVisible());
    EXPECT_TRUE(page->btn_stop->isHidden());
    EXPECT_TRUE(page->btn_filter->isHidden());
    QTest::mouseClick(page->btn_pause, Qt::LeftButton);
    EXPECT_FALSE(scan_busy);
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->volumes()));
}

TEST_F(recovery_page, previews_a_deleted_picture_and_utf16_text_from_a_private_folder_that_goes_with_the_window)
{
    img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
    QImage picture(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 5, y * 7, (x + y) * 3));
    ASSERT_TRUE(picture.save(dir.path() + "/holiday_picture.png"));
    QFile text(dir.path() + "/greeting_note.txt");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    const QString greeting = QString::fromUtf8("Grüße aus Köln\n");
    text.write("\xFF\xFE");
    text.write(reinterpret_cast<const char*>(greeting.utf16()), greeting.size() * 2);
    text.close();
    // Random content at the size limit and one byte above it.
    const QString at_limit = make_file(dir.path(), "at_limit_file.bin", preview_max_bytes, 5);
    const QString above = make_file(dir.path(), "above_limit_file.bin", preview_max_bytes + 1, 6);
    mtools("mcopy", img, {dir.path() + "/holiday_picture.png", text.fileName(), at_limit, above, "::/"});
    mtools("mdel", img,
           {"::/holiday_picture.png", "::/greeting_note.txt", "::/at_limit_file.bin", "::/above_limit_file.bin"});
    scan_through_window();
    recovery_window_c* page = window->recovery();
    click_folder(page->tv_dirtree->model()->index(0, 0));
    const auto row_of = [&](std::uint64_t size) {
        for (int r = 0; r < page->rows.size(); ++r)
            if (page->rows[r].size == size)
                return r;
        return -1;
    };
    const int png = row_of(QFileInfo(dir.path() + "/holiday_picture.png").size());
    const int utf16 = row_of(2 + 2 * greeting.size());
    ASSERT_GE(png, 0);
    ASSERT_GE(utf16, 0);

    click_cell(png, 1);
    EXPECT_FALSE(page->rows[png].checked) << "a click on the name previews without checking";
    QTRY_VERIFY_WITH_TIMEOUT(page->preview_shown, 20000);
    EXPECT_EQ(page->preview_item.size, page->rows[png].size);
    EXPECT_EQ(page->preview_image().convertToFormat(QImage::Format_RGB32), picture);
    const QString copy = page->preview()->copy_path;
    const QString folder = page->preview()->folder();
    EXPECT_TRUE(copy.startsWith(folder + "/")) << copy.toStdString();
    EXPECT_EQ(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);

    click_cell(utf16, 0);  // in the check column: checks the row and previews it
    EXPECT_TRUE(page->rows[utf16].checked);
    QTRY_VERIFY_WITH_TIMEOUT(page->preview_shown, 20000);
    EXPECT_TRUE(page->preview_image().isNull());
    EXPECT_EQ(page->preview_text(), greeting);
    EXPECT_FALSE(QFileInfo::exists(copy)) << "only the copy shown last is kept";

    // A file at the limit is previewed; one byte more is not, and hides the preview shown.
    click_cell(row_of(preview_max_bytes), 1);
    QTRY_VERIFY_WITH_TIMEOUT(page->preview_shown, 20000);
    EXPECT_EQ(page->preview_item.size, preview_max_bytes);
    click_cell(row_of(preview_max_bytes + 1), 1);
    EXPECT_FALSE(page->preview_shown);
    EXPECT_FALSE(page->preview()->isRunning());

    window.reset();
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the preview folder is removed with the window";
}

QByteArray png_bytes(int width, int height, int seed)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * seed) & 255, (y * 3 + seed) & 255, (x ^ y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

TEST_F(recovery_page, deep_scan_result_is_saved_and_loaded_again_through_the_home_page)
{
    // A volume without a file system: two pictures among zeros, found by their content.
    const QString raw = dir.path() + "/raw.img";
    const QByteArray first = png_bytes(40, 30, 7), second = png_bytes(64, 48, 11);
    make_sparse(raw, 4 << 20);
    write_at(raw, 64 * 1024, first);
    write_at(raw, 1 << 20, second);
    const QString volume = raw + "@p0";
    scan_through_window(raw, volume);
    recovery_window_c* page = window->recovery();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(page->engine_kind, 2);
    EXPECT_EQ(page->found_files(), 2);
    EXPECT_EQ(page->status_text(), translate("recovery_finished") + " " + translate("raw_progress") + " 4.00M");
    const QJsonObject cli = cli_scan(volume, raw);
    ASSERT_EQ(cli["engine"].toString(), "deep");
    const QJsonArray shown = shown_folders();
    EXPECT_EQ(shown, cli["folders"].toArray()) << QJsonDocument(QJsonObject{{"shown", shown}}).toJson().toStdString();

    // Recovered byte for byte.
    const std::map<std::uint64_t, QByteArray> by_size = {{first.size(), first}, {second.size(), second}};
    const auto recovered_equal = [&](const QString& folder) {
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(files.size(), 2) << folder.toStdString();
        for (const QString& f : files) {
            const QByteArray bytes = content(folder + "/" + f);
            ASSERT_EQ(by_size.count(bytes.size()), 1u) << f.toStdString();
            EXPECT_EQ(bytes, by_size.at(bytes.size())) << f.toStdString();
        }
    };
    click_folder(page->tv_dirtree->model()->index(0, 0, page->tv_dirtree->model()->index(0, 0)));
    ASSERT_EQ(page->rows.size(), 2);
    recover_all_into(dir.path() + "/scanned");
    recovered_equal(dir.path() + "/scanned");

    // Saved through the Save button: the header and one 32-byte record per file.
    ASSERT_TRUE(page->btn_filter->isVisible());
    set_file_dialog_hook([&](const file_dialog_request_s& r) {
        EXPECT_EQ(r.kind, file_dialog_kind::save_file);
        return dir.path() + "/result";
    });
    QTest::mouseClick(page->btn_filter, Qt::LeftButton);
    cancel_file_dialogs();
    const QString saved = dir.path() + "/result.sav";
    EXPECT_EQ(QFileInfo(saved).size(), 256 + 2 * 32);
    EXPECT_TRUE(content(saved).startsWith(volume.toLocal8Bit() + '\0'));

    // Back to the home page, then its resume button with the saved file.
    QTest::mouseClick(page->btn_back, Qt::LeftButton);
    window->show_page(0);
    EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);
    boxes.clear();
    const auto resume = [&](const QString& file) {
        set_file_dialog_hook([&](const file_dialog_request_s& r) {
            EXPECT_EQ(r.kind, file_dialog_kind::open_file);
            return file;
        });
        QTest::mouseClick(window->home()->btn_resume, Qt::LeftButton);
        cancel_file_dialogs();
    };
    resume(saved);
    ASSERT_EQ(window->page(), static_cast<QWidget*>(page));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(scan_busy);
    EXPECT_TRUE(page->btn_pause->isHidden() && page->btn_stop->isHidden() && page->btn_filter->isHidden());
    // The file does not say how much of the volume its scan covered: the status names the
    // file instead of a share, and the files found are counted as after the scan.
    EXPECT_EQ(page->status_text(), translate("recovery_loaded").arg("result.sav"));
    EXPECT_EQ(page->found_files(), 2);
    EXPECT_EQ(shown_folders(), shown);
    click_folder(page->tv_dirtree->model()->index(0, 0, page->tv_dirtree->model()->index(0, 0)));
    recover_all_into(dir.path() + "/loaded");
    recovered_equal(dir.path() + "/loaded");

    // A result whose volume is absent, and a file that is no scan result: the home page
    // stays, with a box that says why.
    QByteArray elsewhere = content(saved);
    elsewhere.replace(0, 256, QByteArray(256, '\0'));
    const QByteArray absent_path("/absent/disk.img@p0");
    elsewhere.replace(0, absent_path.size(), absent_path);
    const QString absent = dir.path() + "/absent.sav";
    write_at(absent, 0, elsewhere);
    const QString broken = dir.path() + "/broken.sav";
    write_at(broken, 0, QByteArray(300, 'x'));
    struct case_s {
        QString file;
        QString box;
    } cases[] = {
        {absent, translate("recovery_load_volume_warning").arg(absent, "/absent/disk.img@p0")},
        {broken, translate("recovery_load_warning").arg(broken)},
    };
    for (const case_s& c : cases) {
        QTest::mouseClick(page->btn_back, Qt::LeftButton);
        window->show_page(0);
        boxes.clear();
        resume(c.file);
        EXPECT_EQ(window->page(), static_cast<QWidget*>(window->home())) << c.file.toStdString();
        ASSERT_EQ(boxes.size(), 1u) << c.file.toStdString();
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);
    }
}

// Replaces every UTF-16 copy of a name in an image by another of the same length.
void rename_in_image(const QString& image, const QString& from, const QString& to)
{
    ASSERT_EQ(from.size(), to.size());
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const QByteArray a(reinterpret_cast<const char*>(from.utf16()), from.size() * 2);
    const QByteArray b(reinterpret_cast<const char*>(to.utf16()), to.size() * 2);
    ASSERT_TRUE(bytes.contains(a)) << from.toStdString();
    bytes.replace(a, b);
    f.seek(0);
    f.write(bytes);
}

TEST_F(recovery_page, ntfs_scan_shows_what_the_command_line_finds_and_names_never_leave_the_folder)
{
    const QByteArray report = text_bytes(3000, 1), photo = random_bytes(70000, 2), up = text_bytes(1500, 3),
                     absolute = text_bytes(900, 4);
    const ntfs_image_s ntfs = make_ntfs_image(dir.path(), "ntfs.img", {32, 0, false}, [&](const QString& m) {
        make_folder(m + "/Docs");
        write_file(m + "/Docs/report.txt", report);
        write_file(m + "/Docs/kept.txt", "still there");
        write_file(m + "/photo.bin", photo);
        write_file(m + "/dotdot_evil", up);
        write_file(m + "/etc_passwdx", absolute);
        for (const char* gone : {"/Docs/report.txt", "/photo.bin", "/dotdot_evil", "/etc_passwdx"})
            QFile::remove(m + gone);
    });
    // Names that no file system driver writes, as a damaged or hostile volume holds them.
    rename_in_image(ntfs.path, "dotdot_evil", "../evil.txt");
    rename_in_image(ntfs.path, "etc_passwdx", "/etc/passwd");
    scan_through_window(ntfs.path, ntfs.volume_path);
    recovery_window_c* page = window->recovery();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(page->engine_kind, 1);
    const QJsonObject cli = cli_scan(ntfs.volume_path, ntfs.path);
    ASSERT_EQ(cli["engine"].toString(), "ntfs");
    EXPECT_EQ(page->found_files(), cli["found_count"].toInteger());
    const QJsonArray shown = shown_folders();
    EXPECT_EQ(shown, cli["folders"].toArray()) << QJsonDocument(QJsonObject{{"shown", shown}}).toJson().toStdString();

    // Every folder's deleted files recovered into a folder of its own, byte for byte, and
    // nothing beside or above it.
    const std::map<std::uint64_t, QByteArray> by_size = {
        {report.size(), report}, {photo.size(), photo}, {up.size(), up}, {absolute.size(), absolute}};
    const QString out = dir.path() + "/out";
    ASSERT_TRUE(QDir().mkpath(out));
    const QAbstractItemModel* tree = page->tv_dirtree->model();
    QStringList names;
    const QList<QModelIndex> folders = {tree->index(0, 0), tree->index(0, 0, tree->index(0, 0))};
    for (int i = 0; i < folders.size(); ++i) {
        click_folder(folders[i]);
        for (const recovery_item_s& r : page->rows)
            names << r.name;
        const QString into = out + "/" + QString::number(i);
        recover_all_into(into);
        for (const QString& f : QDir(into).entryList(QDir::Files | QDir::Hidden)) {
            SCOPED_TRACE(f.toStdString());
            const QByteArray bytes = content(into + "/" + f);
            ASSERT_EQ(by_size.count(bytes.size()), 1u);
            EXPECT_EQ(bytes, by_size.at(bytes.size()));
        }
    }
    EXPECT_TRUE(names.contains("../evil.txt") && names.contains("/etc/passwd")) << names.join(", ").toStdString();
    int written = 0;
    for (const char* sub : {"0", "1"})
        written += QDir(out + "/" + sub).entryList(QDir::Files | QDir::Hidden).size();
    EXPECT_EQ(written, 4);
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"0", "1"}));
    EXPECT_FALSE(QFileInfo::exists(out + "/evil.txt"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/evil.txt"));
    EXPECT_NE(content("/etc/passwd"), absolute);
}

TEST_F(recovery_page, same_volume_warning_compares_devices_and_only_yes_writes_there)
{
    make_volume();
    // The image's volume taken as mounted: on a folder of the temporary folder's own file
    // system, or on /proc, whose path begins with the same "/" but is another device.
    const QString mount = dir.path() + "/mounted";
    ASSERT_TRUE(QDir().mkpath(mount));
    struct case_s {
        QString root_path;
        QMessageBox::StandardButton answer;
        bool warned;
        int written;
    } cases[] = {
        {mount, QMessageBox::No, true, 0},
        {mount, QMessageBox::Yes, true, 2},
        {"/proc", QMessageBox::No, false, 2},
    };
    int run = 0;
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.root_path.toStdString() + (c.answer == QMessageBox::Yes ? " Yes" : " No"));
        scan_through_window(img.path, img.volume_path, [&](QList<volume_item_s>& volumes) {
            for (volume_item_s& v : volumes)
                if (v.volume_path == img.volume_path)
                    v.root_path = c.root_path;
        });
        recovery_window_c* page = window->recovery();
        ASSERT_EQ(page->volume.root_path, c.root_path);
        click_folder(page->tv_dirtree->model()->index(0, 0, page->tv_dirtree->model()->index(0, 0)));
        page->on_check_all(true);
        boxes.clear();
        answer = c.answer;
        const QString out = dir.path() + "/out" + QString::number(run++);
        set_file_dialog_hook([&](const file_dialog_request_s&) { return out; });
        QTest::mouseClick(page->btn_recovery, Qt::LeftButton);
        cancel_file_dialogs();
        if (c.warned) {
            ASSERT_FALSE(boxes.empty());
            EXPECT_EQ(boxes[0].text, translate("recovery_same_volume_warning"));
            EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(boxes[0].title, "Orvane");
        }
        if (c.written > 0) {
            QTRY_VERIFY_WITH_TIMEOUT(boxes.size() == (c.warned ? 2u : 1u), 60000);
            EXPECT_EQ(boxes.back().text, translate("recovery_written").arg(c.written).arg(out));
        } else {
            EXPECT_EQ(boxes.size(), 1u);
            EXPECT_FALSE(page->writer_running());
        }
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), c.written);
        window.reset();
    }
}

TEST_F(recovery_page, scan_that_finds_nothing_offers_a_deep_scan_unless_stopped)
{
    img = make_fat_image(dir.path(), "empty.img", 16, true, 32768);
    const QString question = translate("deep_scan_query");
    // No: the page stays empty with Start.
    answer = QMessageBox::No;
    scan_through_window();
    recovery_window_c* page = window->recovery();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, question);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(page->engine_kind, 0);
    EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
    EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);

    // Stopped by the user: no question.
    boxes.clear();
    ASSERT_EQ(page->start_recovery(page->volume, 0), 0);
    QTest::mouseClick(page->btn_stop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 60000);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(page->status_text().startsWith(translate("recovery_stopped") + " "))
        << page->status_text().toStdString();

    // Yes: the deep engine scans the same volume; finding nothing there asks nothing more,
    // and its (empty) result can be saved.
    answer = QMessageBox::Yes;
    ASSERT_EQ(page->start_recovery(page->volume, 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.empty(), 60000);
    EXPECT_EQ(page->engine_kind, 2);
    EXPECT_EQ(page->deep_scan, 1u);
    QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 60000);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(page->btn_filter->isVisible());
    EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
}

// An NTFS volume cut short cannot be scanned: the offer of a deep scan says why, and an
// empty tree is not all the user learns.
TEST_F(recovery_page, scan_that_cannot_start_says_why)
{
    const QString whole = make_ntfs(dir.path(), "whole.ntfs", 40960);
    // Kept up to its first MFT records, so that the volume still reads as NTFS.
    const QByteArray boot = read_at(whole, 0, 512);
    std::uint64_t mft = 0;
    for (int i = 7; i >= 0; --i)
        mft = mft << 8 | static_cast<std::uint8_t>(boot[0x30 + i]);
    mft *= 512 * static_cast<std::uint8_t>(boot[0x0D]);
    const QString cut = dir.filePath("cut.img");
    write_at(cut, 0, read_at(whole, 0, mft + 4096));
    answer = QMessageBox::No;
    scan_through_window(cut, cut + "@p0");
    EXPECT_EQ(window->recovery()->engine_kind, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("deep_scan_query"));
    EXPECT_TRUE(boxes[0].details.contains("truncated image")) << boxes[0].details.toStdString();
}

// A deleted file whose first cluster a live file took: its row is marked in the table (the
// command line marks the same row), and recovering it checked ends as failed, with the
// reason, while the other checked file is written.
TEST_F(recovery_page, overwritten_row_is_marked_and_reported_failed_when_recovered)
{
    img = make_fat_image(dir.path(), "fat.img", 16, true, 32768);
    const reused_clusters_s sources = reuse_clusters(img, dir.filePath("src"));
    scan_through_window();
    recovery_window_c* page = window->recovery();
    const QJsonArray shown = shown_folders();
    EXPECT_EQ(shown, cli_scan(img.volume_path, img.path)["folders"].toArray());

    click_folder(page->tv_dirtree->model()->index(0, 0));
    ASSERT_EQ(page->rows.size(), 2);
    for (const recovery_item_s& r : page->rows)
        EXPECT_EQ(r.overwritten, r.name == "#LD.TXT") << r.name.toStdString();
    expect_only_marked("#LD.TXT", translate("recovery_overwritten"), translate("recovery_overwritten_tip"));

    const QString out = dir.filePath("found");
    recover_all_into(out);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, translate("recovery_written").arg(1).arg(out) + "\n\n" + translate("recovery_failed") +
                                     "\n#LD.TXT: overwritten: its first cluster now belongs to another file");
    EXPECT_EQ(content(out + "/#REE.TXT"), content(sources.intact));
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"#REE.TXT"});
}

// The end box lists a file with unreadable sectors and a file whose clusters a live file
// took under headings of their own, each with its ranges.
TEST_F(recovery_page, partial_files_are_listed_by_what_made_them_partial)
{
    img = make_fat_image(dir.path(), "fat.img", 32, true, 36000, {"-s", "1"});
    const crossed_run_s run = cross_run(img, dir.filePath("src"), 6000, 4, 1000, {{"HIT.TXT", 3000, 1}});
    const auto unreadable = make_unreadable(img.path, run.others[0], 1024);
    scan_through_window();
    click_folder(window->recovery()->tv_dirtree->model()->index(0, 0));
    ASSERT_EQ(window->recovery()->rows.size(), 2);
    // Before anything is written, the row whose clusters the live file took is marked, not
    // the one with an unreadable sector, which no FAT entry tells.
    expect_only_marked("#EL.BIN", translate("recovery_partly_overwritten"),
                       translate("recovery_partly_overwritten_tip").arg(2).arg(12));

    const QString out = dir.filePath("found");
    recover_all_into(out);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, translate("recovery_written").arg(0).arg(out) + "\n\n" +
                                     translate("recovery_partial") + "\n#IT.TXT: bytes 1024-1535\n\n" +
                                     translate("recovery_partial_in_use") + "\n#EL.BIN: bytes 2048-3071");
}

TEST(recovery_model, sorts_by_each_key_in_its_own_direction)
{
    QList<recovery_item_s> rows;
    const auto row = [](const char* name, std::uint64_t size, std::int64_t date1, std::int64_t date2) {
        recovery_item_s r;
        r.name = name;
        r.size = size;
        r.date1 = date1;
        r.date2 = date2;
        return r;
    };
    rows << row("alpha", 5ull << 32, 0, 3) << row("Beta", 10, -86400, 1) << row("beta", 4ull << 32, 100, 2);
    recovery_model_c model(&rows);
    const auto names = [&] {
        QStringList n;
        for (const recovery_item_s& r : rows)
            n << r.name;
        return n;
    };
    struct case_s {
        int column;
        QStringList expected;
    } cases[] = {
        {1, {"Beta", "alpha", "beta"}},  // capitals before small letters
        {2, {"Beta", "beta", "alpha"}},  // sizes above 4 GiB
        {3, {"Beta", "alpha", "beta"}},  // a date before 1970 first
        {2, {"alpha", "beta", "Beta"}},  // the size column's second sort: descending
        {4, {"Beta", "beta", "alpha"}}, {1, {"beta", "alpha", "Beta"}},
    };
    for (const case_s& c : cases) {
        model.sort_by_column(c.column);
        EXPECT_EQ(names(), c.expected) << c.column;
    }
    EXPECT_EQ(cell_text(rows[2], 3), QDateTime::fromSecsSinceEpoch(-86400).toString("yyyy-MM-dd"));
    // A row without a time stamp (0) shows no date rather than 1970-01-01.
    const recovery_item_s& undated = rows[1];
    EXPECT_EQ(undated.date1, 0);
    EXPECT_EQ(cell_text(undated, 3), QString());
    EXPECT_EQ(cell_text(undated, 4), QDateTime::fromSecsSinceEpoch(3).toLocalTime().toString("yyyy-MM-dd"));
}

TEST_F(recovery_page, previews_made_while_a_recovery_writes_read_the_same_engine_and_both_get_the_right_bytes)
{
    const std::map<std::uint64_t, QByteArray> by_size = make_busy_volume();
    scan_through_window();
    recovery_window_c* page = window->recovery();
    click_folder(page->tv_dirtree->model()->index(0, 0));
    ASSERT_EQ(page->rows.size(), 12);
    const QString out = dir.path() + "/out";
    url_recorder opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    start_recovering_all(out);
    ASSERT_TRUE(page->writer_running());
    // The status line says how far the recovery has come.
    QStringList progress;
    for (int n = 0; n <= 12; ++n)
        progress << translate("recovery_writing").arg(n).arg(12);
    EXPECT_TRUE(progress.contains(page->status_text())) << page->status_text().toStdString();

    // Rows previewed one after another while the writer goes through all of them: the two
    // take turns reading the one FAT volume, file by file.
    for (int r = page->rows.size() - 1; r >= 0 && page->writer_running(); r -= 2) {
        SCOPED_TRACE(r);
        click_cell(r, 1);
        QTRY_VERIFY_WITH_TIMEOUT(page->preview_shown, 60000);
        EXPECT_EQ(page->preview_item.id, page->rows[r].id);
        EXPECT_TRUE(content(page->preview()->copy_path) == by_size.at(page->rows[r].size));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.empty(), 120000);
    EXPECT_EQ(boxes.back().text, translate("recovery_written").arg(12).arg(out));
    EXPECT_TRUE(page->status_text().startsWith(translate("recovery_finished"))) << page->status_text().toStdString();
    const QStringList written = QDir(out).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(written.size(), 12);
    for (const QString& f : written) {
        SCOPED_TRACE(f.toStdString());
        const QByteArray bytes = content(out + "/" + f);
        ASSERT_EQ(by_size.count(bytes.size()), 1u);
        EXPECT_TRUE(bytes == by_size.at(bytes.size()));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST_F(recovery_page, start_during_a_preview_copy_scans_once_the_copy_is_done_and_start_during_a_recovery_says_why)
{
    make_busy_volume();
    scan_through_window();
    recovery_window_c* page = window->recovery();
    ASSERT_EQ(page->found_files(), 12);
    url_recorder opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");

    // Start pressed while a row's copy for the preview is being made; then Stop at once, or
    // not. The scan cannot reset the engine under the copy, so it waits for it, and the
    // page shows a scan from the click on; a Stop meanwhile means no scan at all.
    for (bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "Stop while waiting" : "scan after the copy");
        if (page->tv_dirtree->model()->rowCount() == 0) {
            QTest::mouseClick(page->btn_pause, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 120000);
        }
        click_folder(page->tv_dirtree->model()->index(0, 0));
        ASSERT_EQ(page->rows.size(), 12);
        bool pressed = false;
        // A copy may be done before the click on Start comes: then the next row is tried.
        for (int r = 0; r < 6 && !pressed; ++r) {
            click_cell(r, 1);
            if (page->preview()->isRunning()) {
                QTest::mouseClick(page->btn_pause, Qt::LeftButton);
                pressed = true;
            }
        }
        ASSERT_TRUE(pressed);
        EXPECT_TRUE(scan_busy);
        EXPECT_EQ(page->btn_pause->text(), translate("btn_pause"));
        EXPECT_TRUE(page->btn_stop->isVisible());
        EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);
        if (page->preview()->isRunning()) {
            EXPECT_EQ(page->found_files(), 0) << "no scan runs while the page waits for the copy";
        }
        // The page waits for the copy only while it runs: when it ended just as Start was
        // pressed, the scan has begun and is left to end as in the second case.
        if (stop && page->preview()->isRunning()) {
            QTest::mouseClick(page->btn_stop, Qt::LeftButton);
            EXPECT_FALSE(scan_busy);
            EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
            QTRY_VERIFY_WITH_TIMEOUT(!page->preview()->isRunning(), 60000);
            QTest::qWait(300);
            EXPECT_FALSE(scan_busy) << "no scan after a Stop";
            EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 0);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 120000);
            EXPECT_EQ(page->found_files(), 12);
            EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 1);
            EXPECT_EQ(page->btn_pause->text(), translate("btn_start"));
        }
        EXPECT_FALSE(page->preview_shown) << "the preview asked for before the scan is dropped";
        EXPECT_TRUE(boxes.empty());
    }

    // While the checked files are written, Start and the volume page's Scan say why nothing
    // starts; the tree stays as it is.
    click_folder(page->tv_dirtree->model()->index(0, 0));
    const QString out = dir.path() + "/out";
    start_recovering_all(out);
    ASSERT_TRUE(page->writer_running());
    const QString why = translate("recovery_writing_warning").arg(out);
    QTest::mouseClick(page->btn_pause, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, why);
    EXPECT_FALSE(scan_busy);
    EXPECT_EQ(page->tv_dirtree->model()->rowCount(), 1);
    QTest::mouseClick(page->btn_back, Qt::LeftButton);
    ASSERT_EQ(window->page(), static_cast<QWidget*>(window->volumes()));
    QTest::mouseClick(window->volumes()->btn_scan, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, why);
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->volumes()));
    EXPECT_FALSE(scan_busy);

    // Once they are written, the same Scan starts.
    QTRY_VERIFY_WITH_TIMEOUT(boxes.size() == 3u, 120000);
    EXPECT_EQ(boxes[2].text, translate("recovery_written").arg(12).arg(out));
    QTest::mouseClick(window->volumes()->btn_scan, Qt::LeftButton);
    EXPECT_EQ(window->page(), static_cast<QWidget*>(page));
    QTRY_VERIFY_WITH_TIMEOUT(!scan_busy, 120000);
    EXPECT_EQ(page->found_files(), 12);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}
