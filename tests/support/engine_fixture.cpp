#include "tests/support/engine_fixture.h"

#include "disk/drive_list.h"
#include "recovery/diagnostics.h"
#include "recovery/fat/fat_drive_table.h"
#include "volumes/volume_enumeration.h"

void engine_fixture::SetUp()
{
    // FAT keeps local times: one time zone for every run.
    qputenv("TZ", "UTC");
    tzset();
    qputenv("VANTREL_IMAGES_ONLY", "1");
    set_diagnostic_sink({});
    ASSERT_TRUE(dir_.isValid());
}

void engine_fixture::TearDown()
{
    set_drive_images({});
    qunsetenv("VANTREL_IMAGES_ONLY");
}

volume_item_s engine_fixture::use(const QStringList& images, const QString& volume_path)
{
    set_drive_images(images);
    reopen_fat_drives();
    enumerate_volumes();
    for (const volume_item_s& v : volume_item_list)
        if (v.volume_path == volume_path)
            return v;
    ADD_FAILURE() << "no volume " << volume_path.toStdString();
    return {};
}

void engine_fixture::scan(recovery_base_c& engine, const volume_item_s& volume)
{
    engine.set_volume(volume);
    engine.start();
    ASSERT_TRUE(engine.wait(120000));
}
