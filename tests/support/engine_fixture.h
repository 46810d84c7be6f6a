#pragma once
// A fixture for engine tests over image files: the images become the drives (block devices
// hidden), a volume is found by its path, and a scan runs on the engine's thread.
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "recovery/recovery_base.h"
#include "volumes/volume_item.h"

class engine_fixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the images the drives (and reopens the FAT drive table over them) and returns
    // the volume with that path; fails the test when there is none.
    volume_item_s use(const QStringList& images, const QString& volume_path);
    // Scans the volume on the engine's thread and waits for the end.
    void scan(recovery_base_c& engine, const volume_item_s& volume);

    QTemporaryDir dir_;
};
