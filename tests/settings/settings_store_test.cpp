// The settings file "Orvane.ini", the installer's language and the start-up load.
#include <optional>

#include "tests/settings/settings_folder.h"

namespace {

class settings : public settings_folder_c {
protected:
    // A key of "Orvane.ini" as it lies on disk, as the next run of the program would read it.
    // Qt shares what it has read of a settings file among the objects of one process, so the
    // file is read through a copy under a name of its own.
    std::optional<QString> stored(const char* key)
    {
        const QString copy = dir_.filePath(QStringLiteral("check%1.ini").arg(++checks_));
        if (!QFile::copy(dir_.filePath("Orvane.ini"), copy)) {
            ADD_FAILURE() << "no Orvane.ini";
            return std::nullopt;
        }
        QSettings file(copy, QSettings::IniFormat);
        return file.contains(key) ? std::optional(file.value(key).toString()) : std::nullopt;
    }

private:
    int checks_ = 0;
};

}  // namespace

TEST_F(settings, installer_codes)
{
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"1", "English"},
        {"2", "Deutsch"},
        {"3", QString::fromUtf8("Español")},
        {"4", QString::fromUtf8("Français")},
        {"5", "Italiano"},
        {"6", QString::fromUtf8("日本語")},
        {"7", QString::fromUtf8("简体中文")},
        {"8", QString::fromUtf8("繁體中文")},
        {"9", "Nederlands"},
        {"10", QString::fromUtf8("Português")},
        {"03", QString::fromUtf8("Español")},
        {"0", std::nullopt},
        {"11", std::nullopt},
        {"-3", std::nullopt},
        {"+3", std::nullopt},
        {" 3", std::nullopt},
        {"3x", std::nullopt},
        {"0x3", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [value, name] : cases) {
        qputenv(installer_variable, value);
        EXPECT_EQ(read_installer_language(), name) << '"' << value << '"';
    }
    qunsetenv(installer_variable);
    EXPECT_EQ(read_installer_language(), std::nullopt);
}

TEST_F(settings, first_run_takes_the_installer_language_and_writes_it)
{
    qputenv(installer_variable, "3");
    ASSERT_EQ(load_settings(), 0);

    EXPECT_EQ(language, QString::fromUtf8("Español"));
    EXPECT_TRUE(recovery_folder.isEmpty());
    EXPECT_EQ(stored("language"), QString::fromUtf8("Español"));
    EXPECT_EQ(stored("recovery_folder"), std::nullopt);
    EXPECT_TRUE(read_file("Orvane.ini").contains("language=Español\n"));  // UTF-8, as Qt 6 writes it
}

TEST_F(settings, without_an_installer_language_english_is_used_and_nothing_written)
{
    for (const char* value : {static_cast<const char*>(nullptr), "0", "11", "x"}) {
        SCOPED_TRACE(value ? value : "unset");
        clear_values();
        if (value) {
            qputenv(installer_variable, value);
        } else {
            qunsetenv(installer_variable);
        }
        ASSERT_EQ(load_settings(), 0);
        EXPECT_EQ(language, "English");
        EXPECT_FALSE(file_exists("Orvane.ini"));
    }
}

TEST_F(settings, the_file_wins_over_the_installer)
{
    write_file("Orvane.ini", "[General]\nlanguage=Deutsch\nrecovery_folder=/mnt/rescue\n");
    const QByteArray before = read_file("Orvane.ini");
    qputenv(installer_variable, "4");
    ASSERT_EQ(load_settings(), 0);

    EXPECT_EQ(language, "Deutsch");
    EXPECT_EQ(recovery_folder, "/mnt/rescue");
    EXPECT_EQ(read_file("Orvane.ini"), before);
}

TEST_F(settings, an_empty_entry_counts_as_absent)
{
    write_file("Orvane.ini", "[General]\nlanguage=\nrecovery_folder=/mnt/rescue\n");
    qputenv(installer_variable, "2");
    ASSERT_EQ(load_settings(), 0);

    EXPECT_EQ(language, "Deutsch");
    EXPECT_EQ(stored("language"), "Deutsch");
    EXPECT_EQ(stored("recovery_folder"), "/mnt/rescue");
}

TEST_F(settings, save_writes_both_keys)
{
    qputenv(installer_variable, "5");
    ASSERT_EQ(load_settings(), 0);
    language = QString::fromUtf8("日本語");  // as the language menu does
    ASSERT_EQ(save_settings(), 0);

    EXPECT_EQ(stored("language"), QString::fromUtf8("日本語"));
    EXPECT_EQ(stored("recovery_folder"), "");
}

TEST_F(settings, save_writes_back_the_folder_read_at_start)
{
    write_file("Orvane.ini", "[General]\nlanguage=English\nrecovery_folder=/mnt/out\n");
    ASSERT_EQ(load_settings(), 0);
    language = "Nederlands";
    ASSERT_EQ(save_settings(), 0);
    EXPECT_EQ(stored("language"), "Nederlands");
    EXPECT_EQ(stored("recovery_folder"), "/mnt/out");
}

TEST_F(settings, load_reads_english_then_the_chosen_language)
{
    write_file("language.ini",
               "[English]\nbtn_back=\"Back\"\nmenu_exit=\"Exit\"\n"
               "[Español]\nbtn_back=\"Atrás\"\n");
    qputenv(installer_variable, "3");
    ASSERT_EQ(load_settings(), 0);

    EXPECT_EQ(translate("btn_back"), QString::fromUtf8("Atrás"));
    EXPECT_EQ(translate("menu_exit"), "Exit");
    EXPECT_EQ(current_language_index, 1);
    EXPECT_EQ(language_code(), "es");
}

TEST_F(settings, a_language_without_a_section_reads_english)
{
    write_file("language.ini",
               "[English]\nbtn_back=\"Back\"\n"
               "[Español]\nbtn_back=\"Atrás\"\n");
    write_file("Orvane.ini", "[General]\nlanguage=Italiano\n");
    ASSERT_EQ(load_settings(), 0);
    EXPECT_EQ(language, "Italiano");
    EXPECT_EQ(translate("btn_back"), "Back");
    EXPECT_EQ(current_language_index, 0);
    EXPECT_EQ(language_code(), "en");
}
