#include "tests/support/engine_fixture.h"

#include "disk/drive_list.h"
#include "recovery/diagnostics.h"
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
    sessions_.clear();
    set_drive_images({});
    qunsetenv("VANTREL_IMAGES_ONLY");
}

volume_item_s engine_fixture::use(const QStringList& images, const QString& volume_path)
{
    set_drive_images(images);
    enumerate_volumes();
    for (const volume_item_s& v : volume_item_list)
        if (v.volume_path == volume_path)
            return v;
    ADD_FAILURE() << "no volume " << volume_path.toStdString();
    return {};
}

recovery_session_c& engine_fixture::session()
{
    // The deep scan's built-in configuration: no file of the working folder counts.
    sessions_.push_back(std::make_unique<recovery_session_c>(nullptr, dir_.filePath("no.conf")));
    return *sessions_.back();
}

void engine_fixture::scan(recovery_session_c& session, const volume_item_s& volume, bool deep)
{
    ASSERT_TRUE(session.start(volume, deep));
    ASSERT_TRUE(session.wait(120000));
}

recovery_session_c& engine_fixture::scan(const volume_item_s& volume, bool deep)
{
    recovery_session_c& s = session();
    scan(s, volume, deep);
    return s;
}

void engine_fixture::scan(recovery_base_c& engine, engine_kind kind, const volume_item_s& volume)
{
    recovery_session_c::prepare(kind);
    engine.set_volume(volume);
    engine.start();
    ASSERT_TRUE(engine.wait(120000));
}
