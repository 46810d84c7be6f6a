// The skinned frame's own behaviour: painted buttons that act on release, the title band's
// double click, the settings menu, and closing, which waits for the window's threads.
#include <QAction>
#include <QDesktopServices>
#include <QFontInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QUrl>
#include <atomic>

#include "settings/localisation.h"
#include "settings/settings_store.h"
#include "skin/shell_state.h"
#include "tests/window/window_fixture.h"

namespace {

using skin_window = window_fixture;

// A worker that runs until asked to stop, and then still needs a moment to wind down.
class slow_worker : public QThread {
public:
    std::atomic<bool> stop{false};

protected:
    void run() override
    {
        while (!stop) {
            msleep(5);
        }
        msleep(300);
    }
};

QImage image_of(const QString& path)
{
    return QPixmap(path).toImage();
}

}  // namespace

TEST_F(skin_window, windows_font_names_resolve_to_installed_fonts)
{
    const QStringList installed = {"Liberation Sans", "DejaVu Sans"};
    for (const char* name : {"Arial", "arial", "Verdana", "Segoe UI Symbol", "Comic Sans MS"}) {
        const QString family = QFontInfo(QFont(QString::fromLatin1(name), 10)).family();
        EXPECT_TRUE(installed.contains(family)) << name << " became " << family.toStdString();
    }
}

TEST_F(skin_window, painted_button_acts_once_on_release)
{
    open_window();
    QSignalSpy closing(window.get(), &QSkinWidget::aboutToClose);
    const QPoint p = painted_centre(close_button);
    auto* b = window->painted_buttons().at(close_button);

    QTest::mousePress(window.get(), Qt::LeftButton, {}, p);
    EXPECT_EQ(b->state, 2);
    EXPECT_EQ(closing.count(), 0);
    EXPECT_TRUE(window->isVisible());

    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, p);
    EXPECT_EQ(b->state, 1);
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(skin_window, hover_moves_from_button_to_button_one_change_at_a_time)
{
    open_window();
    const auto& buttons = window->painted_buttons();
    QTest::mouseMove(window.get(), painted_centre(mode_files));
    EXPECT_EQ(buttons[mode_files]->state, 1);
    // Straight onto the next button: the first turns normal, the second waits for a later move.
    QTest::mouseMove(window.get(), painted_centre(mode_partition));
    EXPECT_EQ(buttons[mode_files]->state, 0);
    EXPECT_EQ(buttons[mode_partition]->state, 0);
    QTest::mouseMove(window.get(), painted_centre(mode_partition) + QPoint(1, 0));
    EXPECT_EQ(buttons[mode_partition]->state, 1);
}

TEST_F(skin_window, only_the_title_band_outside_the_buttons_drags_the_window)
{
    struct case_s {
        QPoint press;
        bool moves;
    };
    open_window();
    const case_s cases[] = {
        {{400, QSkinWidget::title_band_height}, true},
        {{400, QSkinWidget::title_band_height + 1}, false},
        {painted_centre(mode_files), false},
    };
    const QPoint drag(30, 40);
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.press.y());
        window->move(50, 60);
        QCoreApplication::processEvents();
        const QPoint start = window->pos();
        const QPoint global = window->mapToGlobal(c.press);
        QMouseEvent press(QEvent::MouseButtonPress, c.press, global, Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.get(), &press);
        QMouseEvent move(QEvent::MouseMove, c.press + drag, global + drag, Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, c.press + drag, global + drag, Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(window.get(), &release);
        EXPECT_EQ(window->pos(), c.moves ? start + drag : start);
    }
}

TEST_F(skin_window, edges_resize_the_window_down_to_its_minimum)
{
    struct case_s {
        const char* name;
        QPoint press;  // relative to the window's bottom-right corner
        QPoint drag;
        QSize size;
    };
    const case_s cases[] = {
        {"bottom-right corner outwards", {-1, -1}, {70, 50}, {870, 650}},
        {"right edge inwards stops at the minimum", {-2, -300}, {-200, 0}, {800, 600}},
    };
    open_window();
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        window->setGeometry(40, 40, 800, 600);
        QCoreApplication::processEvents();
        const QPoint at = QPoint(window->width(), window->height()) + c.press;
        const QPoint global = window->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.get(), &press);
        QMouseEvent move(QEvent::MouseMove, at + c.drag, global + c.drag, Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, at + c.drag, global + c.drag, Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(window.get(), &release);
        EXPECT_EQ(window->size(), c.size);
        EXPECT_EQ(window->pos(), QPoint(40, 40));
    }
}

TEST_F(skin_window, double_click_on_title_band_maximises_and_restores)
{
    open_window();
    const QRect work_area = QGuiApplication::primaryScreen()->availableGeometry();
    window->setGeometry(work_area.x() + 30, work_area.y() + 20, 800, 600);
    QCoreApplication::processEvents();
    const QRect before = window->geometry();
    ASSERT_NE(before, work_area);
    auto* max = window->maximized_button();

    // Below the band and on a button of the band a double click does nothing.
    for (const QPoint p : {QPoint(400, QSkinWidget::title_band_height + 1), painted_centre(mode_files)}) {
        QTest::mouseDClick(window.get(), Qt::LeftButton, {}, p);
        EXPECT_EQ(window->geometry(), before);
        EXPECT_TRUE(window->is_restored());
    }

    const QPoint band(400, QSkinWidget::title_band_height);
    QTest::mouseDClick(window.get(), Qt::LeftButton, {}, band);
    EXPECT_EQ(window->geometry(), work_area);
    EXPECT_FALSE(window->is_restored());
    EXPECT_EQ(max->action, &QSkinWidget::restore_window);
    EXPECT_EQ(max->images[0].toImage(), image_of(":/images/system/resumeButton1.png"));
    EXPECT_EQ(max->images[2].toImage(), image_of(":/images/system/resumeButton3.png"));

    QTest::mouseDClick(window.get(), Qt::LeftButton, {}, band);
    EXPECT_EQ(window->geometry(), before);
    EXPECT_TRUE(window->is_restored());
    EXPECT_EQ(max->action, &QSkinWidget::maximize_window);
    EXPECT_EQ(max->images[0].toImage(), image_of(":/images/system/maxButton1.png"));
}

TEST_F(skin_window, language_menu_is_reversed_and_a_pick_is_saved)
{
    QFile file(QStringLiteral("language.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[English]\nlanguage_warning=\"Restart to use it\"\nmenu_help=\"Help\"\n"
        "[Deutsch]\nlanguage_warning=\"Neu starten\"\n"
        "[Fran\xc3\xa7"
        "ais]\nmenu_exit=\"Quitter\"\n");
    file.close();
    set_language_file(QStringLiteral("language.ini"));
    load_settings();
    open_window();

    QMenu* menu = window->menu();
    const QList<QAction*> entries = menu->actions();
    ASSERT_GE(entries.size(), 5);
    QMenu* languages = entries[0]->menu();
    ASSERT_NE(languages, nullptr);
    QStringList names;
    for (QAction* a : languages->actions()) {
        names << a->text();
    }
    EXPECT_EQ(names, QStringList({QString::fromUtf8("Français"), "Deutsch", "English"}));

    // The language in use: nothing happens and nothing is written.
    languages->actions()[2]->trigger();
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(QFile::exists("Orvane.ini"));

    languages->actions()[1]->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Restart to use it");
    EXPECT_EQ(current_language_index, 1);
    ASSERT_TRUE(QFile::copy("Orvane.ini", "check.ini"));
    QSettings saved(QStringLiteral("check.ini"), QSettings::IniFormat);
    EXPECT_EQ(saved.value("language").toString(), "Deutsch");

    // Help opens the page shipped beside the program.
    url_recorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    entries[2]->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(entries[2]->text(), "Help");
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_TRUE(recorder.opened[0].toLocalFile().endsWith("/docs/help.html"));
}

TEST_F(skin_window, closing_stops_and_waits_for_owned_threads)
{
    struct case_s {
        const char* name;
        bool busy;
        QMessageBox::StandardButton reply;
        bool closes;
        bool by_button;  // else closed as the window manager closes it
    };
    const case_s cases[] = {
        {"no scan", false, QMessageBox::Ok, true, true},
        {"scan, answered No", true, QMessageBox::No, false, true},
        {"scan, answered Yes", true, QMessageBox::Yes, true, true},
        {"window manager's close, no scan", false, QMessageBox::Ok, true, false},
        {"window manager's close, scan, answered No", true, QMessageBox::No, false, false},
        {"window manager's close, scan, answered Yes", true, QMessageBox::Yes, true, false},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        scan_busy = c.busy;
        answer = c.reply;
        open_window();
        slow_worker worker;
        window->owned_threads().adopt(&worker, [&worker] { worker.stop = true; });
        worker.start();

        if (c.by_button) {
            click_painted(close_button);
        } else {
            window->close();
        }
        EXPECT_EQ(boxes.size(), c.busy ? 1u : 0u);
        EXPECT_EQ(window->isVisible(), !c.closes);
        EXPECT_EQ(worker.isFinished(), c.closes);
        window.reset();  // the window's end stops the worker in any case
        EXPECT_TRUE(worker.isFinished());
    }
}
