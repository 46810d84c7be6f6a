// vantrel-screenshots OUTDIR [IMAGE...]: starts the window as the program does, on the image
// files given, waits until start-up has finished, then shows each page in turn and writes a
// picture of the window on a plain desktop colour: home.png, drive.png, partition.png,
// volume.png, recovery.png, deep.png. The partition page is reached by the drive page's Scan on the
// row that page has chosen; the recovery page by the volume page's Scan on the first FAT
// volume listed, and once the scan has ended a folder with a picture is opened and the
// picture's row chosen, so that the page shows a tree, a table and a preview; deep.png shows
// the same volume after a deep scan, chosen the same way.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/init_thread.h"
#include "app/main_window.h"
#include "app/home_window.h"
#include "app/startup.h"
#include "pages/drive_window.h"
#include "pages/partition_window.h"
#include "pages/volume_window.h"
#include "results/recovery_window.h"
#include "recovery/fat/fat_drive_table.h"
#include "results/result_models.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"

namespace {

void wait_ms(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool is_picture(const QString& name)
{
    static const QStringList kinds = {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".tif", ".tiff"};
    for (const QString& k : kinds)
        if (name.endsWith(k, Qt::CaseInsensitive))
            return true;
    return false;
}

// Chooses the first FAT volume on the volume page, as a user clicks its row.
void choose_fat_volume(main_window_c& window)
{
    volume_window_c* page = window.volumes();
    QAbstractItemModel* model = page->lv_volumes->model();
    for (int row = 1; model && row < model->rowCount(); ++row) {
        page->lv_volumes->setCurrentIndex(model->index(row, 0));
        const std::optional<volume_item_s> v = page->selected_volume();
        if (v && v->file_system.startsWith(QLatin1String("FAT")))
            return;
    }
}

// Waits for the scan to end, then opens the first folder holding a picture and chooses the
// picture's row (a preview), with the other rows of the folder checked.
void show_results(main_window_c& window)
{
    for (int i = 0; i < 600 && scan_busy; ++i)
        wait_ms(100);
    recovery_window_c* page = window.recovery();
    TreeModel* tree = page->tree_model();
    QModelIndex chosen;
    int picture = -1;
    std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& index) {
        for (int r = 0; r < tree->folder(index).rows.size() && picture < 0; ++r)
            if (is_picture(tree->folder(index).rows[r].name)) {
                chosen = index;
                picture = r;
            }
        for (int c = 0; c < tree->rowCount(index) && picture < 0; ++c)
            visit(tree->index(c, 0, index));
    };
    const QModelIndex root = tree->index(0, 0);
    if (!root.isValid())
        return;
    visit(root);
    if (!chosen.isValid())
        chosen = root;
    page->tv_dirtree->setCurrentIndex(chosen);
    page->on_tree_clicked(chosen);
    for (int r = 0; r < page->rows.size(); ++r)
        if (r != picture)
            page->on_list_clicked(page->table_view->model()->index(r, 0));
    if (picture >= 0) {
        const QModelIndex index = page->table_view->model()->index(picture, 1);
        page->table_view->setCurrentIndex(index);
        page->on_list_clicked(index);
    }
}

bool save_picture(QWidget& window, const QString& path)
{
    const int margin = 24;
    const QPixmap shot = window.grab();
    QImage picture(shot.size() + QSize(2 * margin, 2 * margin), QImage::Format_RGB32);
    picture.fill(QColor(0xdf, 0xe6, 0xee));
    QPainter p(&picture);
    p.drawPixmap(margin, margin, shot);
    p.end();
    return picture.save(path);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: vantrel-screenshots OUTDIR [IMAGE...]\n", stderr);
        return 2;
    }
    load_program_settings();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QDir out(args[1]);
    prepare_application(args.mid(2));

    main_window_c window;
    init_c init;
    start_window_and_wait(window, init, 60000);

    // Boxes are answered, so that the run never waits for a user; their texts go to stderr.
    set_box_hook([](QMessageBox& box) {
        std::fprintf(stderr, "vantrel-screenshots: box: %s\n", qPrintable(box.text()));
        return QMessageBox::Ok;
    });
    // The search and the scan are started as a user starts them: the search on the drive
    // that the drive page chooses, the scan on the first FAT volume; a page that cannot be
    // reached that way is shown as it is.
    struct shot_s {
        const char* name;
        int page;
        std::function<void()> start;
        int wait;
    };
    const shot_s shots[] = {
        {"home.png", 0, nullptr, 500},
        {"drive.png", 2, nullptr, 500},
        {"partition.png", 3, [&] { window.on_click_drive_scan(); }, 1500},
        {"volume.png", 1, [&] { choose_fat_volume(window); }, 500},
        {"recovery.png", 4,
         [&] {
             window.on_click_volume_scan();
             show_results(window);
         },
         1000},
        // The same volume scanned again by signatures, as the home page's deep-scan mode
        // leads there: a folder per found type.
        {"deep.png", 4,
         [&] {
             window.scan_mode = 1;
             window.show_page(1);
             choose_fat_volume(window);
             window.on_click_volume_scan();
             show_results(window);
         },
         1000},
    };
    QWidget* pages[] = {window.home(), window.volumes(), window.drives(), window.partitions(), window.recovery()};
    int failed = 0;
    for (const shot_s& shot : shots) {
        if (shot.start) {
            shot.start();
        }
        if (window.page() != pages[shot.page]) {
            window.show_page(shot.page);
        }
        wait_ms(shot.wait);  // past at least one 400 ms repaint of the frame
        const QString path = out.filePath(QString::fromLatin1(shot.name));
        if (!save_picture(window, path)) {
            std::fprintf(stderr, "vantrel-screenshots: cannot write %s\n", qPrintable(path));
            ++failed;
        }
    }
    window.close();
    close_fat_drives();
    return failed == 0 ? 0 : 1;
}
