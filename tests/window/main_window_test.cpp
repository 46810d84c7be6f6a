// The main window's page moves: refused before start-up has finished, as the page-flow table
// says after it, and asked about while a file scan runs.
#include <functional>

#include "app/home_window.h"
#include "pages/drive_window.h"
#include "pages/partition_window.h"
#include "pages/volume_window.h"
#include "results/recovery_window.h"
#include "settings/localisation.h"
#include "skin/shell_state.h"
#include "tests/window/window_fixture.h"

namespace {

enum page_number { home = 0, volume, drive, partition, recovery };

class main_window : public window_fixture {
public:
    QWidget* page_widget(int n) const
    {
        QWidget* pages[] = {window->home(), window->volumes(), window->drives(), window->partitions(),
                            window->recovery()};
        return pages[n];
    }

    // The page shown is the current page, and the only one visible.
    void expect_page(int n) const
    {
        EXPECT_EQ(window->page(), page_widget(n));
        for (int i = 0; i <= recovery; ++i) {
            EXPECT_EQ(page_widget(i)->isVisible(), i == n) << "page " << i;
        }
    }

    void expect_box(const char* key, QMessageBox::StandardButtons buttons, const QString& title, QWidget* parent)
    {
        ASSERT_EQ(boxes.size(), 1u) << key;
        EXPECT_FALSE(translate(key).isEmpty()) << key;
        EXPECT_EQ(boxes[0].text, translate(key));
        EXPECT_EQ(boxes[0].buttons, buttons) << key;
        EXPECT_EQ(boxes[0].title, title) << key;
        EXPECT_EQ(boxes[0].parent, parent) << key;
    }
};

struct move_case_s {
    const char* name;
    std::function<void(main_window_c&, std::function<void(int)> click)> act;
};

const move_case_s home_moves[] = {
    {"home scan button", [](main_window_c& w, auto) { QTest::mouseClick(w.home()->btn_start, Qt::LeftButton); }},
    {"home resume button", [](main_window_c& w, auto) { QTest::mouseClick(w.home()->btn_resume, Qt::LeftButton); }},
    {"mode button 1", [](main_window_c&, auto click) { click(mode_files); }},
    {"mode button 2", [](main_window_c&, auto click) { click(mode_partition); }},
    {"mode button 3", [](main_window_c&, auto click) { click(mode_deep_scan); }},
};

}  // namespace

TEST_F(main_window, moves_before_startup_are_refused)
{
    open_window();
    for (const move_case_s& c : home_moves) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        window->scan_mode = 1;
        c.act(*window, [this](int i) { click_painted(i); });
        expect_box("startup_warning", QMessageBox::Ok, QStringLiteral("Orvane"), window.get());
        expect_page(home);
        EXPECT_EQ(window->scan_mode, 1);
    }
}

TEST_F(main_window, moves_after_startup)
{
    struct case_s {
        const char* name;
        int from;
        std::uint8_t mode_before;
        std::function<void(main_window&, main_window_c&)> act;
        int to;
        std::uint8_t mode_after;
        const char* box;  // the box shown, with its title; none when nullptr
    };
    const auto painted = [](int i) { return [i](main_window& f, main_window_c&) { f.click_painted(i); }; };
    const case_s cases[] = {
        {"home scan", home, 1, [](auto&, main_window_c& w) { QTest::mouseClick(w.home()->btn_start, Qt::LeftButton); },
         volume, 1, nullptr},
        // The placeholder recovery page loads nothing: the page stays.
        {"home resume, nothing loaded", home, 0,
         [](auto&, main_window_c& w) { QTest::mouseClick(w.home()->btn_resume, Qt::LeftButton); }, home, 0, nullptr},
        {"mode 1 from home", home, 1, painted(mode_files), volume, 0, nullptr},
        {"mode 2 from recovery", recovery, 1, painted(mode_partition), drive, 1, nullptr},
        {"mode 3 from drive", drive, 0, painted(mode_deep_scan), volume, 1, nullptr},
        {"volume back", volume, 0,
         [](auto&, main_window_c& w) { QTest::mouseClick(w.volumes()->btn_back, Qt::LeftButton); }, home, 0, nullptr},
        {"drive back", drive, 0,
         [](auto&, main_window_c& w) { QTest::mouseClick(w.drives()->btn_back, Qt::LeftButton); }, home, 0, nullptr},
        {"partition back leads to the volumes", partition, 0,
         [](auto&, main_window_c& w) { QTest::mouseClick(w.partitions()->btn_back, Qt::LeftButton); }, volume, 0,
         nullptr},
        {"recovery back, no scan", recovery, 1,
         [](auto&, main_window_c& w) { QTest::mouseClick(w.recovery()->btn_back, Qt::LeftButton); }, volume, 1,
         nullptr},
        {"drive scan without a chosen drive", drive, 0, [](auto&, main_window_c& w) { w.on_click_drive_scan(); }, drive,
         0, "main_warning1"},
    };
    startup_done = true;
    open_window();
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        window->show_page(c.from);
        window->scan_mode = c.mode_before;
        c.act(*this, *window);
        expect_page(c.to);
        EXPECT_EQ(window->scan_mode, c.mode_after);
        if (c.box) {
            expect_box(c.box, QMessageBox::Ok, QStringLiteral("Vantrel"), nullptr);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
    }
}

TEST_F(main_window, leaving_a_running_scan_asks_first)
{
    struct case_s {
        const char* name;
        std::function<void(main_window&)> act;
        int to;  // where Yes leads
        std::uint8_t mode_after_yes;
    };
    const case_s cases[] = {
        {"recovery back", [](main_window& f) { QTest::mouseClick(f.window->recovery()->btn_back, Qt::LeftButton); },
         volume, 1},
        {"mode 1", [](main_window& f) { f.click_painted(mode_files); }, volume, 0},
        {"mode 2", [](main_window& f) { f.click_painted(mode_partition); }, drive, 1},
        {"mode 3", [](main_window& f) { f.click_painted(mode_deep_scan); }, volume, 1},
    };
    startup_done = true;
    scan_busy = true;
    open_window();
    for (const case_s& c : cases) {
        for (const auto reply : {QMessageBox::No, QMessageBox::Yes}) {
            SCOPED_TRACE(std::string(c.name) + (reply == QMessageBox::No ? ", No" : ", Yes"));
            boxes.clear();
            answer = reply;
            window->show_page(recovery);
            window->scan_mode = 1;
            c.act(*this);
            expect_box("back_warning", QMessageBox::Yes | QMessageBox::No, QStringLiteral("Orvane"), window.get());
            expect_page(reply == QMessageBox::No ? recovery : c.to);
            EXPECT_EQ(window->scan_mode, reply == QMessageBox::No ? 1 : c.mode_after_yes);
        }
    }
}
