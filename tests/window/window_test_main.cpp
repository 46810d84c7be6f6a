// The window tests drive real windows on the offscreen platform. Each test runs in a process
// of its own (ctest starts one per test), with its own working directory and runtime folder,
// so that settings files and the single-instance lock of parallel tests never meet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/startup.h"

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    if (!dir.isValid() || chdir(QFile::encodeName(dir.path()).constData()) != 0) {
        return 1;
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VANTREL_IMAGES_ONLY", "1");

    QApplication app(argc, argv);
    prepare_application({});
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
