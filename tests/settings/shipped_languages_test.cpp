// The localisation file shipped with the program: every key in every language.
#include <QSet>
#include <QStringList>
#include <set>

#include "tests/settings/settings_folder.h"

namespace {

class localisation_shipped : public settings_folder_c {};

// Every key that the windows look up.
const char* const keys[] = {
    "btn_back",
    "btn_scan",
    "btn_refresh",
    "btn_start",
    "btn_stop",
    "btn_repair",
    "btn_pause",
    "btn_resume",
    "btn_save_result",
    "btn_recovery",
    "home_text1",
    "home_text2",
    "home_text3",
    "drive_physical_drives",
    "volume_select",
    "drive_size",
    "partition_number",
    "partition_ss",
    "partition_es",
    "partition_fs",
    "partition_text1",
    "partition_done",
    "partition_stopped",
    "partition_query",
    "partition_plan_now",
    "partition_plan_after",
    "partition_plan_empty",
    "partition_plan_nothing",
    "partition_fate_kept",
    "partition_fate_found",
    "partition_fate_replaced",
    "partition_fate_dropped",
    "partition_finished",
    "volume_logical_drives",
    "local_disk",
    "recovery_free",
    "scan_nosel_warning",
    "volume_space_unknown",
    "partition_gpt_warning",
    "partition_too_many_warning",
    "partition_beyond_warning",
    "partition_none_warning",
    "partition_failed_warning",
    "recovery_name",
    "recovery_date1",
    "recovery_date2",
    "raw_progress",
    "recovery_reading",
    "recovery_total_files",
    "deep_scan_query",
    "recovery_check_warning",
    "recovery_same_volume_warning",
    "recovery_select",
    "recovery_written",
    "recovery_failed",
    "recovery_load_warning",
    "recovery_load_volume_warning",
    "recovery_save_warning",
    "recovery_partial",
    "recovery_partial_in_use",
    "recovery_writing_warning",
    "recovery_loaded",
    "recovery_finished",
    "recovery_stopped",
    "recovery_paused",
    "recovery_overwritten",
    "recovery_overwritten_tip",
    "recovery_partly_overwritten",
    "recovery_partly_overwritten_tip",
    "recovery_writing",
    "startup_warning",
    "main_warning1",
    "main_warning2",
    "back_warning",
    "quit_warning",
    "language_warning",
    "menu_help",
    "menu_exit",
};

}  // namespace

TEST_F(localisation_shipped, ten_languages_with_every_key)
{
    QFile shipped(QStringLiteral(VANTREL_SOURCE_DIR "/resources/language.ini"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QByteArray bytes = shipped.readAll();
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    write_file("language.ini", bytes);

    // The sections are exactly the languages that the installer's codes name.
    QStringList installer_names;
    for (int code = 1; code <= 10; ++code) {
        qputenv(installer_variable, QByteArray::number(code));
        const std::optional<QString> name = read_installer_language();
        ASSERT_TRUE(name) << code;
        installer_names << *name;
    }
    ASSERT_EQ(load_language("English", false), 0);
    const QStringList sections = language_list;
    EXPECT_EQ(sections.size(), 10);
    EXPECT_EQ(QSet<QString>(sections.begin(), sections.end()),
              QSet<QString>(installer_names.begin(), installer_names.end()));
    EXPECT_EQ(sections.first(), "English");

    const std::set<QByteArray> expected(std::begin(keys), std::end(keys));
    for (const QString& name : sections) {
        SCOPED_TRACE(name.toStdString());
        translation_table.clear();
        ASSERT_EQ(load_language(name, true), 0);
        EXPECT_EQ(language_list[current_language_index], name);

        std::set<QByteArray> found;
        for (const auto& [key, text] : translation_table) {
            found.insert(key);
            EXPECT_FALSE(text.trimmed().isEmpty()) << key.constData();
            EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << key.constData();
        }
        EXPECT_EQ(found, expected);
        // The repair question names the sector that it overwrites.
        EXPECT_TRUE(translation_table["partition_query"].contains('0'));
    }
}
