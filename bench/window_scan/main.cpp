// vantrel-window-bench VOLUME IMAGE...: the window as the program starts it, on the image
// files given; once start-up has finished, the recovery page scans VOLUME as the volume
// page's Scan starts it, and when the scan has ended the folder with the most files is
// clicked and the whole window painted. Prints, as "key value" lines:
//   window_seconds  from the scan's start to the painted window with tree and table filled
//   peak_rss_kib    the process's peak resident memory at that moment (VmHWM)
//   folders, rows, found  the tree's folders, the clicked folder's rows, the found count
//                         that the status area shows
// Exit status 1 when the volume is not listed, the scan does not start, or nothing is shown.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTreeView>
#include <cstdio>

#include "app/init_thread.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "recovery/fat/fat_drive_table.h"
#include "results/recovery_window.h"
#include "results/result_models.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"
#include "volumes/volume_enumeration.h"

namespace {

// The process's peak resident memory in KiB, from /proc/self/status.
long peak_rss_kib()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int fail(const char* why)
{
    std::fprintf(stderr, "vantrel-window-bench: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: vantrel-window-bench VOLUME IMAGE...\n", stderr);
        return 2;
    }
    load_program_settings();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    prepare_application(args.mid(2));
    // A box would wait for a user: answered No, so a deep-scan question starts nothing.
    set_box_hook([](QMessageBox& box) {
        std::fprintf(stderr, "vantrel-window-bench: box: %s\n", qPrintable(box.text()));
        return QMessageBox::No;
    });

    int status = 0;
    {
        main_window_c window;
        init_c init;
        start_window_and_wait(window, init, 60000);

        const volume_item_s* volume = nullptr;
        for (const volume_item_s& v : volume_item_list)
            if (v.volume_path == args[1])
                volume = &v;
        recovery_window_c* page = window.recovery();
        if (!volume) {
            status = fail("the volume is not listed");
        } else {
            QElapsedTimer clock;
            clock.start();
            if (page->start_recovery(*volume, 0) != 0) {
                status = fail("the scan did not start");
            } else {
                window.show_page(4);
                while (scan_busy)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
                // The folder with the most files, clicked as the user clicks it.
                const TreeModel* tree = page->tree_model();
                std::size_t biggest = 0;
                const auto& folders = tree->tree().folders;
                for (std::size_t i = 0; i < folders.size(); ++i)
                    if (folders[i].rows.size() > folders[biggest].rows.size())
                        biggest = i;
                const QModelIndex index =
                    folders.empty() ? QModelIndex() : tree->index_of(tree->tree().path_of(biggest));
                if (index.isValid()) {
                    page->tv_dirtree->setCurrentIndex(index);
                    emit page->tv_dirtree->clicked(index);
                }
                const QPixmap painted = window.grab();
                const double seconds = double(clock.nsecsElapsed()) / 1e9;
                const long rss = peak_rss_kib();
                std::printf("window_seconds %.3f\npeak_rss_kib %ld\nfolders %zu\nrows %lld\nfound %lld\n", seconds, rss,
                            folders.size(), (long long)page->rows.size(), (long long)page->found_files());
                if (page->rows.isEmpty() || painted.isNull())
                    status = fail("the page shows no rows");
            }
        }
        window.close();
    }
    close_fat_drives();
    return status;
}
