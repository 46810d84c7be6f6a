// The drive and the volume a person names, over real images: numbers, paths, IMAGE@pN
// (relative or absolute), an image named twice, and names that match nothing.
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "disk/drive_list.h"
#include "disk/drive_lookup.h"
#include "tests/support/fat_images.h"
#include "tests/support/images.h"
#include "volumes/volume_enumeration.h"
#include "volumes/volume_lookup.h"

using namespace test_images;

namespace {

class named_lookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VANTREL_IMAGES_ONLY", "1");
        ASSERT_TRUE(dir.isValid());
        part = make_fat_image(dir.path(), "part.img", 16, true, 32768).path;
        whole = make_fat32(dir.path(), "whole.img", 140000);
        missing = dir.filePath("missing.img");
    }
    void TearDown() override
    {
        QDir::setCurrent(cwd);
        hide_machine_disks(false);
        set_drive_images({});
        enumerate_drives();
        qunsetenv("VANTREL_IMAGES_ONLY");
    }

    QTemporaryDir dir;
    const QString cwd = QDir::currentPath();
    QString part, whole, missing;
};

// Checks a lookup against what a case expects: an item (found) or the error and whether the
// name was merely unlisted. The item when there is one.
template <typename item_t>
const item_t* checked(const lookup_s<item_t>& found, bool expect_item, const char* error, bool unlisted)
{
    EXPECT_EQ(found.unlisted, unlisted);
    if (!expect_item) {
        EXPECT_FALSE(found.item);
        EXPECT_TRUE(found.error.contains(error)) << found.error.toStdString();
        return nullptr;
    }
    if (!found.item) {
        ADD_FAILURE() << "nothing found: " << found.error.toStdString();
        return nullptr;
    }
    EXPECT_TRUE(found.error.isEmpty());
    return &*found.item;
}

}  // namespace

TEST_F(named_lookup, volumes_by_image_path_with_the_image_made_a_drive_first)
{
    struct case_s {
        QString name;
        QStringList images;
        QString path;        // of the volume found; empty: none
        int disk = 0;        // its drive number
        QStringList drives;  // the drive list afterwards, when found
        const char* error = "";
        bool unlisted = false;
    };
    const case_s cases[] = {
        {part + "@p1", {}, part + "@p1", 0, {part}},
        // Relative to the working folder, and listed by its absolute path.
        {"part.img@p1", {}, part + "@p1", 0, {part}},
        // The named image comes before the others; one given twice is listed once.
        {part + "@p1", {whole}, part + "@p1", 0, {part, whole}},
        {whole + "@p0", {part, whole}, whole + "@p0", 1, {part, whole}},
        {"whole.img@p0", {"whole.img"}, whole + "@p0", 0, {whole}},
        {part + "@p7", {}, {}, 0, {}, "there is no volume", true},
        {"/dev/no-such-disk1", {part}, {}, 0, {}, "there is no volume /dev/no-such-disk1", true},
        // An image that cannot be opened is named; nothing is looked for.
        {part + "@p1", {missing}, {}, 0, {}, "missing.img", false},
    };
    QDir::setCurrent(dir.path());
    for (const case_s& c : cases) {
        SCOPED_TRACE((c.name + " with " + c.images.join(',')).toStdString());
        const lookup_s<volume_item_s> found = find_named_volume(c.name, c.images);
        const volume_item_s* v = checked(found, !c.path.isEmpty(), c.error, c.unlisted);
        if (!v)
            continue;
        EXPECT_EQ(v->volume_path, c.path);
        EXPECT_EQ(v->disk_number, c.disk);
        QStringList drives;
        for (const drive_item_s& d : list_drives())
            drives << d.path;
        EXPECT_EQ(drives, c.drives);
    }
}

TEST_F(named_lookup, drives_by_number_or_path)
{
    struct case_s {
        QString name;
        QStringList images;
        QString path;  // of the drive found; empty: none
        const char* error = "";
        bool unlisted = false;
    };
    const case_s cases[] = {
        {"0", {part, whole}, part},
        {"1", {part, whole}, whole},
        {"2", {part, whole}, {}, "there is no drive 2", true},
        {"-1", {part}, {}, "there is no drive -1", true},
        // A path need not be among the images, and may be relative.
        {whole, {part}, whole},
        {"whole.img", {}, whole},
        {missing, {}, {}, "missing.img", false},
        {dir.path(), {}, {}, "neither a disk nor an image file", false},
        {"0", {missing}, {}, "missing.img", false},
    };
    QDir::setCurrent(dir.path());
    for (const case_s& c : cases) {
        SCOPED_TRACE((c.name + " with " + c.images.join(',')).toStdString());
        const lookup_s<drive_item_s> found = find_named_drive(c.name, c.images);
        if (const drive_item_s* d = checked(found, !c.path.isEmpty(), c.error, c.unlisted)) {
            EXPECT_EQ(d->path, c.path);
            EXPECT_TRUE(d->geometry);
        }
    }
}

TEST(drive_images, an_image_that_cannot_be_a_drive_changes_nothing)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.img");
    make_sparse(good, 4 * cylinder_bytes);
    qputenv("VANTREL_IMAGES_ONLY", "1");
    EXPECT_EQ(use_drive_images({good}), "");
    EXPECT_EQ(drive_list.size(), 2);
    EXPECT_EQ(drive_image_error(good), "");
    const QString error = use_drive_images({good, dir.filePath("gone.img")});
    EXPECT_TRUE(error.contains("gone.img")) << error.toStdString();
    EXPECT_EQ(drive_images(), QStringList{good});
    EXPECT_EQ(drive_list.size(), 2);
    set_drive_images({});
    enumerate_drives();
    qunsetenv("VANTREL_IMAGES_ONLY");
}
