// Start-up: one instance at a time, and the worker that readies the drives and volumes.
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/init_thread.h"
#include "app/startup.h"
#include "disk/drive_list.h"
#include "recovery/fat/fat_drive_table.h"
#include "skin/shell_state.h"
#include "tests/support/images.h"
#include "pages/drive_window.h"
#include "volumes/volume_enumeration.h"
#include "tests/window/window_fixture.h"

namespace {

bool runs_on(QProcess& program)
{
    program.start(QStringLiteral(VANTREL_PROGRAM), {});
    return program.waitForStarted() && !program.waitForFinished(2000) && program.state() == QProcess::Running;
}

void end(QProcess& program)
{
    program.terminate();
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished();
    }
}

}  // namespace

TEST(startup, second_instance_exits_with_minus_one)
{
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "another instance holds the lock" : "no other instance");
        QLockFile other(instance_lock_path());
        if (held) {
            ASSERT_TRUE(take_instance_lock(other));
            QProcess program;
            program.start(QStringLiteral(VANTREL_PROGRAM), {});
            ASSERT_TRUE(program.waitForFinished(10000));
            EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(program.exitCode(), 255);  // -1 as an exit status
        } else {
            // The only instance comes up and keeps running until it is closed.
            QProcess program;
            EXPECT_TRUE(runs_on(program));
            end(program);
        }
    }
}

TEST(startup, lock_of_a_killed_instance_is_taken_over)
{
    QProcess killed;
    ASSERT_TRUE(runs_on(killed));
    killed.kill();
    killed.waitForFinished();
    ASSERT_TRUE(QFile::exists(instance_lock_path()));

    QProcess next;
    EXPECT_TRUE(runs_on(next));
    end(next);
}

TEST(startup, images_that_cannot_be_opened_are_left_out)
{
    QTemporaryDir dir;
    const QString image = test_images::make_fat32(dir.path(), QStringLiteral("disk.img"), 70000);
    prepare_application({dir.filePath("missing.img"), dir.path(), image});
    EXPECT_EQ(drive_images(), QStringList{image});
}

using startup_window = window_fixture;

TEST_F(startup_window, startup_worker_lists_the_image_and_opens_the_moves)
{
    QTemporaryDir dir;
    const QString image = test_images::make_fat32(dir.path(), QStringLiteral("disk.img"), 70000);
    set_drive_images({image});
    open_window();

    init_c init;
    QObject::connect(&init, &init_c::init_finished, window.get(), &main_window_c::on_init_finished);
    QSignalSpy finished(&init, &init_c::init_finished);
    init.start();
    ASSERT_TRUE(finished.wait(30000));
    init.wait();
    close_fat_drives();
    EXPECT_TRUE(startup_done);
    ASSERT_EQ(drive_list.size(), 2);  // the header item, then the image
    EXPECT_EQ(drive_list[1].path, image);
    bool listed = false;
    for (const volume_item_s& v : volume_item_list) {
        listed = listed || v.volume_path.startsWith(image);
    }
    EXPECT_TRUE(listed);

    click_painted(mode_partition);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window->page(), static_cast<QWidget*>(window->drives()));
}
