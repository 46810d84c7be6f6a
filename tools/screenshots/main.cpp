// vantrel-screenshots OUTDIR [IMAGE...]: starts the window as the program does, on the image
// files given, waits until start-up has finished, then shows each page in turn and writes a
// picture of the window on a plain desktop colour: home.png, drive.png, partition.png,
// volume.png, recovery.png.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "app/init_thread.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "recovery/fat/fat_drive_table.h"

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

    const std::pair<int, const char*> pages[] = {
        {0, "home.png"}, {2, "drive.png"}, {3, "partition.png"}, {1, "volume.png"}, {4, "recovery.png"}};
    int failed = 0;
    for (const auto& [number, name] : pages) {
        window.show_page(number);
        wait_ms(500);  // past one 400 ms repaint of the frame
        if (!save_picture(window, out.filePath(QString::fromLatin1(name)))) {
            std::fprintf(stderr, "vantrel-screenshots: cannot write %s\n", qPrintable(out.filePath(name)));
            ++failed;
        }
    }
    window.close();
    close_fat_drives();
    return failed == 0 ? 0 : 1;
}
