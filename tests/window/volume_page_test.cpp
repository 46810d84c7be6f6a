// The volume page: rows with their names and usage bars (red or green by the free share, grey
// "unknown" when the volume is not mounted), the choice of a volume, and Scan without one.
#include "pages/page_look.h"
#include "pages/volume_model.h"
#include "pages/volume_window.h"
#include "settings/localisation.h"
#include "skin/shell_state.h"
#include "tests/window/page_checks.h"
#include "tests/window/window_fixture.h"
#include "volumes/volume_enumeration.h"

namespace {

constexpr std::uint64_t total = 10'000'000'000ull;

// Three mounted volumes with 19, 20 and 21 % free, and one that is not mounted, whose platform
// describes it through its device and knows no free space.
table_volume_platform four_volumes()
{
    table_volume_platform p;
    const struct {
        const char* path;
        const char* mount;
        std::uint64_t free;
    } mounted[] = {
        {"vol-a", "/mnt/a", total / 100 * 19}, {"vol-b", "/mnt/b", total / 5}, {"vol-c", "/mnt/c", total / 100 * 21}};
    int n = 0;
    for (const auto& v : mounted) {
        p.volumes.push_back(v.path);
        p.device_names[v.path] = QStringLiteral("/dev/sdb%1").arg(++n);
        p.mounts[v.path] = {v.mount};
        p.drive_types[v.mount] = 2;
        p.information[v.mount] = {n == 2 ? QString() : QStringLiteral("DATA%1").arg(n), QStringLiteral("FAT32"), 0};
        p.spaces[v.mount] = {total, v.free};
        p.partition_numbers[v.path] = n;
        p.disk_numbers[v.path] = 1;
    }
    p.volumes.push_back(QStringLiteral("vol-d"));
    p.device_names[QStringLiteral("vol-d")] = QStringLiteral("/dev/sdb4");
    p.mounts[QStringLiteral("vol-d")] = {};
    p.drive_types[QStringLiteral("/dev/sdb4")] = 2;
    p.information[QStringLiteral("/dev/sdb4")] = {QStringLiteral("CARD"), QStringLiteral("exFAT"), 0};
    p.spaces[QStringLiteral("/dev/sdb4")] = {total, 0};
    p.partition_numbers[QStringLiteral("vol-d")] = 4;
    p.disk_numbers[QStringLiteral("vol-d")] = 1;
    return p;
}

class volume_page : public window_fixture {
public:
    void open_with_volumes()
    {
        table_volume_platform platform = four_volumes();
        ASSERT_EQ(enumerate_volumes(platform), 0);
        startup_done = true;
        open_window();
        window->on_init_finished();
        window->show_page(1);
    }
};

}  // namespace

TEST(volume_rows, free_share_colour_and_name)
{
    struct case_s {
        std::uint64_t free, total;
        bool green;
    } cases[] = {
        {19, 100, false},         {1, 5, true}, {21, 100, true}, {0, 100, false}, {100, 100, true},
        {total / 5, total, true},  // exactly a fifth: the single-precision quotient lies above 0.2
    };
    for (const case_s& c : cases) {
        volume_item_s v;
        v.free_bytes = c.free;
        v.total_bytes = c.total;
        EXPECT_EQ(shows_green(v), c.green) << c.free << " of " << c.total;
    }

    set_language_file(QStringLiteral(VANTREL_SOURCE_DIR "/resources/language.ini"));
    load_language(QStringLiteral("English"), false);
    volume_item_s named;
    named.label = QStringLiteral("Data");
    named.root_path = QStringLiteral("D:\\");
    EXPECT_EQ(volume_row_name(named), QStringLiteral("Data (D:)"));
    named.label.clear();
    named.root_path = QStringLiteral("/media/card");
    EXPECT_EQ(volume_row_name(named), translate("local_disk") + QStringLiteral(" (/media/card)"));
}

TEST_F(volume_page, rows_show_usage_bars_by_free_share)
{
    open_with_volumes();
    volume_window_c* page = window->volumes();
    ASSERT_EQ(page->lv_volumes->model()->rowCount(), 5);  // header, the unmounted one first, then by mount path
    // The painted name may be shortened in the middle; the whole name is the row's tool tip.
    const QModelIndex first = page->lv_volumes->model()->index(1, 0);
    EXPECT_EQ(first.data(Qt::ToolTipRole).toString(), volume_row_name(*held_item<volume_item_s>(first.data())));
    EXPECT_TRUE(first.data(Qt::ToolTipRole).toString().contains(QStringLiteral("/dev/sdb4")));
    EXPECT_FALSE(page->lv_volumes->model()->index(0, 0).data(Qt::ToolTipRole).isValid()) << "header";

    const QImage rows = painted_rows(page->lv_volumes);
    const int w = rows.width();
    const int bar = static_cast<int>(w * 0.53 - 170);
    const int left = share_of(w, 0.32) + 11;
    EXPECT_EQ(pixel(rows, 5, 5), QColor(232, 246, 255)) << "header";
    EXPECT_EQ(pixel(rows, share_of(w, 0.32), 40), QColor(211, 231, 255)) << "separator";
    EXPECT_EQ(pixel(rows, left, 30 + 15), QColor(214, 218, 224)) << "not mounted: grey";
    struct case_s {
        const char* what;
        int row;
        bool green;
    } cases[] = {{"19 % free", 2, false}, {"20 % free", 3, true}, {"21 % free", 4, true}};
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        const int y = c.row * 30 + 15;
        const QColor inside = pixel(rows, left + bar * 3 / 4, y);  // about 80 % of the bar is used
        EXPECT_TRUE(c.green ? looks_green(inside) : looks_red(inside)) << inside.name().toStdString();
        EXPECT_FALSE(looks_green(pixel(rows, left + bar * 9 / 10, y)) ||
                     looks_red(pixel(rows, left + bar * 9 / 10, y)));
    }
    // The unmounted volume's bar is not a full red bar.
    EXPECT_FALSE(looks_red(pixel(rows, left + bar * 3 / 4, 45)));
}

TEST_F(volume_page, scan_needs_a_chosen_volume)
{
    open_with_volumes();
    volume_window_c* page = window->volumes();
    QTest::mouseClick(page->btn_scan, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, translate("scan_nosel_warning"));
    EXPECT_EQ(boxes[0].parent, page);
    EXPECT_EQ(window->page(), static_cast<QWidget*>(page));

    // A double click on the header row asks for a scan, and the main window refuses the blank item.
    boxes.clear();
    const QRect header = page->lv_volumes->visualRect(page->lv_volumes->model()->index(0, 0));
    QTest::mouseClick(page->lv_volumes->viewport(), Qt::LeftButton, {}, header.center());
    QTest::mouseDClick(page->lv_volumes->viewport(), Qt::LeftButton, {}, header.center());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, translate("main_warning2"));

    // A volume row is handed over as it is listed.
    const QRect row = page->lv_volumes->visualRect(page->lv_volumes->model()->index(3, 0));
    QTest::mouseClick(page->lv_volumes->viewport(), Qt::LeftButton, {}, row.center());
    const std::optional<volume_item_s> chosen = page->selected_volume();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->root_path, QStringLiteral("/mnt/b"));
    EXPECT_EQ(chosen->free_bytes, total / 5);
}
