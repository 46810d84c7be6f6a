#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/init_thread.h"
#include "app/main_window.h"
#include "disk/drive_list.h"
#include "disk/drive_lookup.h"
#include "recovery/fat/fat_drive_table.h"
#include "settings/localisation.h"
#include "settings/settings_store.h"
#include "skin/fonts.h"
#include "volumes/volume_enumeration.h"

QString program_directory()
{
    // Asked before the application object exists, which would otherwise tell it.
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return QFileInfo(exe.canonicalFilePath()).absolutePath();
}

QString instance_lock_path()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        dir = QDir::tempPath();
    }
    return QDir(dir).filePath(QStringLiteral("Orvane.lock"));
}

bool take_instance_lock(QLockFile& lock)
{
    // The lock is held for the whole run, however long: it goes stale only when its process died.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        return true;
    }
    return lock.error() != QLockFile::LockFailedError;
}

void load_program_settings()
{
    set_language_file(QDir(program_directory()).filePath(QStringLiteral("language.ini")));
    load_settings();
}

void prepare_application(const QStringList& image_paths)
{
    register_drive_meta_types();
    register_volume_meta_types();
    substitute_fonts();
    // An image that cannot be opened is named on stderr and left out: listed, it would end
    // the drive list there and hide the drives after it.
    QStringList images;
    for (const QString& path : image_paths) {
        if (const QString error = drive_image_error(path); error.isEmpty()) {
            images << path;
        } else {
            std::fprintf(stderr, "vantrel: %s\n", qPrintable(error));
        }
    }
    set_drive_images(images);
}

void start_window_and_wait(main_window_c& window, init_c& init, int timeout_ms)
{
    QEventLoop ready;
    QObject::connect(&init, &init_c::init_finished, &window, &main_window_c::on_init_finished);
    QObject::connect(&init, &init_c::init_finished, &ready, &QEventLoop::quit);
    window.show();
    init.start();
    QTimer::singleShot(timeout_ms, &ready, &QEventLoop::quit);
    ready.exec();
    init.wait();
}

int run_program(int argc, char** argv)
{
    QLockFile lock(instance_lock_path());
    if (!take_instance_lock(lock)) {
        return -1;
    }
    load_program_settings();

    QApplication app(argc, argv);
    prepare_application(app.arguments().mid(1));

    main_window_c window;
    init_c init;
    QObject::connect(&init, &init_c::init_finished, &window, &main_window_c::on_init_finished);
    init.start(QThread::InheritPriority);

    window.show();
    const int result = app.exec();
    // A window closed at once may leave the worker still listing drives.
    init.wait();
    close_fat_drives();
    return result;
}
