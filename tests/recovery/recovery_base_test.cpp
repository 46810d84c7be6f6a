// The idle engine and the found-file record that every engine hands out.
#include <QVariant>

#include <gtest/gtest.h>

#include "recovery/fat/fat_recovery.h"
#include "recovery/recovery_base.h"

TEST(recovery_contract, idle_engine_answers_at_once)
{
    recovery_stop_c idle;
    recovery_base_c& engine = idle;
    engine.set_stop(stop_user);
    engine.set_pause(1);
    engine.set_progress(0.5);
    EXPECT_EQ(engine.get_stop(), stop_idle);
    EXPECT_EQ(engine.get_pause(), 0);
    EXPECT_EQ(engine.get_progress(), 0.0);
    EXPECT_EQ(engine.get_read_count(), 0);
    EXPECT_EQ(engine.get_found_count(), 0);
    EXPECT_EQ(engine.recover_item(7, "/nonexistent/dir/file"), 0);
    QString path = "unchanged";
    EXPECT_EQ(engine.get_item_path(7, path), 0);
    EXPECT_EQ(path, "unchanged");
    EXPECT_STREQ(engine.metaObject()->className(), "recovery_stop_c");
}

TEST(recovery_contract, reset_clears_state_but_keeps_the_volume)
{
    fat_recovery_c fat;
    volume_item_s v;
    v.volume_path = "disk.img@p1";
    fat.set_volume(v);
    fat.set_pause(1);
    fat.set_stop(stop_user);
    fat.set_progress(0.7);
    fat.entry_table[5] = fat_entry_s{};
    fat.reset();
    EXPECT_EQ(fat.get_pause(), 0);
    EXPECT_EQ(fat.get_stop(), 0);
    EXPECT_EQ(fat.get_progress(), 0.0);
    EXPECT_TRUE(fat.entry_table.empty());
    EXPECT_EQ(fat.volume().volume_path, "disk.img@p1");
    EXPECT_STREQ(fat.metaObject()->className(), "fat_recovery_c");
}

TEST(recovery_contract, a_row_travels_whole_in_a_variant)
{
    register_recovery_meta_types();
    recovery_item_s row{"#BC.TXT", 9216, 1308145510, 1308145500, 42, 0x60, 1};
    const QVariant v = QVariant::fromValue(row);
    EXPECT_STREQ(v.typeName(), "recovery_item_s");
    const recovery_item_s back = v.value<recovery_item_s>();
    EXPECT_EQ(back.name, row.name);
    EXPECT_EQ(back.size, row.size);
    EXPECT_EQ(back.date1, row.date1);
    EXPECT_EQ(back.date2, row.date2);
    EXPECT_EQ(back.id, row.id);
    EXPECT_EQ(back.flags, row.flags);
    EXPECT_EQ(back.checked, 1);
}
