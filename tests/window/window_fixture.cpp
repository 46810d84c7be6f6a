#include "tests/window/window_fixture.h"

#include "settings/localisation.h"
#include "settings/settings_store.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"

void window_fixture::SetUp()
{
    startup_done = false;
    scan_busy = false;
    set_language_file(QStringLiteral(VANTREL_SOURCE_DIR "/resources/language.ini"));
    load_settings();
    set_box_hook([this](QMessageBox& box) {
        boxes.push_back(
            {box.text(), box.windowTitle(), box.standardButtons(), box.parentWidget(), box.informativeText()});
        return answer;
    });
    cancel_file_dialogs();
}

void window_fixture::cancel_file_dialogs()
{
    // A file dialog that a test does not answer is cancelled, never left open.
    set_file_dialog_hook([](const file_dialog_request_s&) { return QString(); });
}

void window_fixture::TearDown()
{
    window.reset();
    set_box_hook({});
    set_file_dialog_hook({});
}

void window_fixture::open_window()
{
    window = std::make_unique<main_window_c>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

QPoint window_fixture::painted_centre(int index) const
{
    const auto* b = window->painted_buttons().at(index);
    if (index <= mode_deep_scan) {
        return b->rect.center();
    }
    // System buttons count their x leftwards from the window's last column.
    return {window->rect().right() - b->rect.center().x(), b->rect.center().y()};
}

void window_fixture::click_painted(int index)
{
    const QPoint p = painted_centre(index);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, p);
}
