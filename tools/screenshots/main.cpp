// vantrel-screenshots OUTDIR [IMAGE...]: starts the window as the program does, on the image
// files given, waits until start-up has finished, then shows each page in turn and writes a
// picture of the window on a plain desktop colour: home.png, drive.png, partition.png,
// volume.png, recovery.png. The partition page is reached by the drive page's Scan and the
// recovery page by the volume page's Scan, each on the row that its page has chosen.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "app/init_thread.h"
#include "app/main_window.h"
#include "app/home_window.h"
#include "app/startup.h"
#include "pages/drive_window.h"
#include "pages/partition_window.h"
#include "pages/volume_window.h"
#include "results/recovery_window.h"
#include "recovery/fat/fat_drive_table.h"
#include "skin/message_box.h"

namespace {

void wait_ms(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
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
    QEventLoop ready;
    QObject::connect(&init, &init_c::init_finished, &window, &main_window_c::on_init_finished);
    QObject::connect(&init, &init_c::init_finished, &ready, &QEventLoop::quit);
    window.show();
    init.start();
    QTimer::singleShot(60000, &ready, &QEventLoop::quit);
    ready.exec();
    init.wait();

    // Boxes are answered, so that the run never waits for a user; their texts go to stderr.
    set_box_hook([](QMessageBox& box) {
        std::fprintf(stderr, "vantrel-screenshots: box: %s\n", qPrintable(box.text()));
        return QMessageBox::Ok;
    });
    // The search and the scan are started as a user starts them, on the first drive and
    // volume that the pages choose; a page that cannot be reached that way is shown as it is.
    struct shot_s {
        const char* name;
        int page;
        void (main_window_c::*start)();
        int wait;
    };
    const shot_s shots[] = {
        {"home.png", 0, nullptr, 500},
        {"drive.png", 2, nullptr, 500},
        {"partition.png", 3, &main_window_c::on_click_drive_scan, 1500},
        {"volume.png", 1, nullptr, 500},
        {"recovery.png", 4, &main_window_c::on_click_volume_scan, 1500},
    };
    QWidget* pages[] = {window.home(), window.volumes(), window.drives(), window.partitions(), window.recovery()};
    int failed = 0;
    for (const shot_s& shot : shots) {
        if (shot.start) {
            (window.*shot.start)();
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
