#pragma once
// A fixture for engine tests over image files: the images become the drives (block devices
// hidden), a volume is found by its path, and a scan runs through a recovery session, as the
// window and the command line run it. The sessions live until the test ends, so that the
// engines they own can be read after their scans.
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "recovery/recovery_base.h"
#include "recovery/recovery_session.h"
#include "volumes/volume_item.h"

class engine_fixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the images the drives and returns the volume with that path; fails the test
    // when there is none.
    volume_item_s use(const QStringList& images, const QString& volume_path);
    // A new session, owned by the fixture.
    recovery_session_c& session();
    // Scans the volume through the session (the deep engine when asked) and waits for the end.
    void scan(recovery_session_c& session, const volume_item_s& volume, bool deep = false);
    // The same through a new session.
    recovery_session_c& scan(const volume_item_s& volume, bool deep = false);
    // Runs one engine on its thread, after the session's setup for an engine of its kind,
    // for tests of an engine's own numbers and of an engine on a volume the session would
    // hand to another one.
    void scan(recovery_base_c& engine, engine_kind kind, const volume_item_s& volume);

    QTemporaryDir dir_;

private:
    std::vector<std::unique_ptr<recovery_session_c>> sessions_;
};
