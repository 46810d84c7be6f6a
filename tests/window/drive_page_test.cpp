// The drive page: the drive list with its header row, the first drive chosen after start-up,
// Scan and Refresh through the main window, and the layout on resize.
#include <QFile>
#include <QTemporaryDir>

#include "disk/drive_list.h"
#include "pages/drive_model.h"
#include "pages/drive_window.h"
#include "pages/page_look.h"
#include "pages/partition_window.h"
#include "settings/localisation.h"
#include "skin/shell_state.h"
#include "tests/window/page_checks.h"
#include "tests/window/window_fixture.h"

namespace {

class drive_page : public window_fixture {
public:
    // Two image drives, listed by the start-up's enumeration and handed to the page.
    void open_with_two_drives()
    {
        ASSERT_TRUE(dir.isValid());
        first = make_image("first.img", 64ll << 20);
        second = make_image("second.img", 3ll << 30);
        set_drive_images({first, second});
        enumerate_drives();
        startup_done = true;
        open_window();
        window->on_init_finished();
        window->show_page(2);
    }

    QString make_image(const char* name, qint64 bytes)
    {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_TRUE(f.resize(bytes));  // sparse: nothing is read
        return f.fileName();
    }

    QTemporaryDir dir;
    QString first, second;
};

}  // namespace

TEST_F(drive_page, first_drive_is_chosen_and_rows_are_painted)
{
    open_with_two_drives();
    drive_window_c* page = window->drives();
    const std::optional<drive_item_s> chosen = page->selected_drive();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, first);
    ASSERT_EQ(page->lv_drives->model()->rowCount(), 3);
    EXPECT_EQ(held_item<drive_item_s>(page->lv_drives->model()->index(2, 0).data())->path, second);
    // The painted path may be shortened in the middle; the whole path is the row's tool tip.
    EXPECT_EQ(page->lv_drives->model()->index(2, 0).data(Qt::ToolTipRole).toString(), second);
    EXPECT_FALSE(page->lv_drives->model()->index(0, 0).data(Qt::ToolTipRole).isValid()) << "header";

    const QImage rows = painted_rows(page->lv_drives);
    const int w = rows.width();
    struct case_s {
        const char* what;
        int x, y;
        QColor colour;
    } cases[] = {
        {"header ground", 5, 5, QColor(232, 246, 255)},
        {"header line at the half", share_of(w, 0.5), 5, QColor(211, 231, 255)},
        {"header line at 0.85", share_of(w, 0.85), 25, QColor(211, 231, 255)},
        {"chosen first drive", 5, 45, QColor(81, 149, 206)},
        {"second drive, an even row", 5, 75, QColor(241, 250, 255)},
    };
    for (const case_s& c : cases) {
        EXPECT_EQ(pixel(rows, c.x, c.y), c.colour) << c.what;
    }
    // Text is drawn in the path column of the drive rows.
    bool dark = false;
    for (int x = 60; x < 160 && !dark; ++x) {
        for (int y = 30 + 8; y < 30 + 24 && !dark; ++y) {
            dark = pixel(rows, x, y).lightness() < 80;
        }
    }
    EXPECT_TRUE(dark);
}

TEST_F(drive_page, scan_searches_the_chosen_drive_and_refresh_forgets_the_choice)
{
    open_with_two_drives();
    drive_window_c* page = window->drives();
    QTest::mouseClick(page->btn_scan, Qt::LeftButton);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->partitions()));

    window->show_page(2);
    QTest::mouseClick(page->btn_refresh, Qt::LeftButton);
    EXPECT_FALSE(page->selected_drive());
    ASSERT_EQ(page->lv_drives->model()->rowCount(), 3);
    QTest::mouseClick(page->btn_scan, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("main_warning1"));
    EXPECT_EQ(window->page(), static_cast<QWidget*>(page));

    // A click on the header row chooses the blank item, which the main window refuses too.
    boxes.clear();
    const QRect header = page->lv_drives->visualRect(page->lv_drives->model()->index(0, 0));
    QTest::mouseClick(page->lv_drives->viewport(), Qt::LeftButton, {}, header.center());
    ASSERT_TRUE(page->selected_drive());
    EXPECT_TRUE(page->selected_drive()->path.isEmpty());
    QTest::mouseClick(page->btn_scan, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("main_warning1"));
}

TEST_F(drive_page, layout_follows_the_page_size)
{
    open_with_two_drives();
    drive_window_c* page = window->drives();
    for (const QSize size : {QSize(800, 600), QSize(1180, 860)}) {
        window->resize(size);
        QApplication::processEvents();
        const int w = page->width(), h = page->height();
        SCOPED_TRACE(QStringLiteral("%1 x %2").arg(w).arg(h).toStdString());
        EXPECT_EQ(page->btn_back->geometry(), QRect(175, h - 54, 100, 30));
        EXPECT_EQ(page->btn_refresh->pos(), QPoint(w / 2 - 50, h - 54));
        EXPECT_EQ(page->btn_scan->pos(), QPoint(w - 275, h - 54));
        EXPECT_EQ(page->lv_drives->geometry(), QRect(25, 45, w - 50, h - 140));
    }
}
