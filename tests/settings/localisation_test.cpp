// Loading "language.ini": sections, entries, escapes, English behind the chosen language,
// pieces of long lines, and the text services of the pages.
#include <QStringList>
#include <cstdint>
#include <limits>

#include "tests/settings/settings_folder.h"

namespace {

class localisation : public settings_folder_c {
protected:
    void write_languages(const QByteArray& bytes) { write_file("language.ini", bytes); }

    // English, without marking, then `name` marked, as the settings store does at start.
    void load_both(const QString& name)
    {
        ASSERT_EQ(load_language("English", false), 0);
        ASSERT_EQ(load_language(name, true), 0);
    }
};

}  // namespace

TEST_F(localisation, english_stands_behind_the_chosen_language)
{
    write_languages(
        "[English]\n"
        "btn_back=\"Back\"\n"
        "menu_exit=\"Exit\"\n"
        "[Deutsch]\n"
        "btn_back=\"Zurück\"\n");
    load_both("Deutsch");

    EXPECT_EQ(translate("btn_back"), QString::fromUtf8("Zurück"));
    EXPECT_EQ(translate("menu_exit"), "Exit");
    EXPECT_EQ(language_list, QStringList({"English", "Deutsch"}));
    EXPECT_EQ(current_language_index, 1);
    EXPECT_EQ(language_code(), "de");

    // A key that neither section has reads as empty and is added to the table; the text is
    // a reference into the table.
    EXPECT_FALSE(translation_table.contains("recovery_name"));
    EXPECT_TRUE(translate("recovery_name").isEmpty());
    EXPECT_TRUE(translation_table.contains("recovery_name"));
    EXPECT_EQ(&translate(QByteArray("btn_back")), &translation_table.at("btn_back"));
}

TEST_F(localisation, entry_forms)
{
    struct case_s {
        const char* line;
        const char* text;  // of btn_back afterwards; the file sets it to "Old" first
    };
    const case_s cases[] = {
        {"btn_back=\"New\"", "New"},
        {"  \tbtn_back=\"New\"  \t", "New"},                         // blanks around the entry
        {"btn_back=\"New\"\r", "New"},                               // CR LF line end
        {"btn_back=\"Line one\\nLine two\"", "Line one\nLine two"},  // escapes
        {"btn_back=\"a\\tb\\\\n\"", "a\tb\\\n"},                     // \t, then \n after a backslash
        {"btn_back=\"say \"hi\" = x\"", "say \"hi\" = x"},           // up to the last quote
        {"btn_back=  \"New\"", "New"},                               // blanks after the "="
        {"btn_back=\"日本\"", "日本"},                               // UTF-8
        {"btn_back=\"\"", "Old"},                                    // an empty text never matches
        {";btn_back=\"x\"", "Old"},                                  // comment
        {"btn_back=\"unclosed", "Old"},
        {"btn_back=\"x\" trailing", "Old"},
        {"btn_back", "Old"},
        {"btn_back=\"a\rb\"", "Old"},  // a lone CR is no "." byte
        {"btn_back = \"x\"", "Old"},   // stored under "btn_back "
        {"", "Old"},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.line);
        clear_values();
        write_languages(QByteArray("[English]\nbtn_back=\"Old\"\n") + c.line + "\n");
        ASSERT_EQ(load_language("English", true), 0);
        EXPECT_EQ(translate("btn_back"), QString::fromUtf8(c.text));
    }

    // The blank before the "=" belongs to the key.
    clear_values();
    write_languages("[English]\nbtn_back = \"x\"\n");
    ASSERT_EQ(load_language("English", true), 0);
    EXPECT_EQ(translation_table.size(), 1u);
    EXPECT_EQ(translation_table.at("btn_back "), "x");
}

TEST_F(localisation, byte_order_mark_hides_the_first_header)
{
    write_languages(
        "\xEF\xBB\xBF[English]\n"
        "btn_back=\"Back\"\n"
        "[Deutsch]\n"
        "menu_exit=\"Beenden\"\n");
    load_both("Deutsch");

    EXPECT_EQ(language_list, QStringList({"Deutsch"}));
    EXPECT_FALSE(translation_table.contains("btn_back"));
    EXPECT_EQ(translate("menu_exit"), "Beenden");
    EXPECT_EQ(current_language_index, 0);
}

TEST_F(localisation, section_names_compare_exactly_and_codes_ignore_case)
{
    write_languages(
        "[English]\nbtn_back=\"Back\"\n"
        "[Français]\nbtn_back=\"Retour\"\n");
    load_both(QString::fromUtf8("français"));
    EXPECT_EQ(translate("btn_back"), "Back");
    EXPECT_EQ(current_language_index, 0);
    EXPECT_EQ(language_code(), "en");

    // A section that is itself written in lower case is found, and its code still matches.
    clear_values();
    write_languages("[English]\n[français]\nbtn_back=\"Retour\"\n");
    load_both(QString::fromUtf8("français"));
    EXPECT_EQ(translate("btn_back"), "Retour");
    EXPECT_EQ(current_language_index, 1);
    EXPECT_EQ(language_code(), "fr");

    const std::pair<const char*, const char*> codes[] = {
        {"Deutsch", "de"},  {"DEUTSCH", "de"},  {"Français", "fr"}, {"ESPAÑOL", "es"},   {"简体中文", "cn"},
        {"繁體中文", "hk"}, {"italiano", "it"}, {"日本語", "jp"},   {"Português", "pt"}, {"nederlands", "nl"},
        {"العربية", "ar"},  {"English", "en"},  {"Deutsch ", "en"}, {"Klingon", "en"},   {"", "en"},
    };
    for (const auto& [name, code] : codes) {
        EXPECT_EQ(language_code_of(QString::fromUtf8(name)), code) << name;
    }
}

TEST_F(localisation, a_section_right_after_one_of_the_same_name_is_skipped)
{
    write_languages(
        "[English]\na=\"1\"\n"
        "[English]\na=\"2\"\nb=\"skipped\"\n"
        "[Deutsch]\na=\"de\"\n"
        "[English]\na=\"3\"\nc=\"read again\"\n");
    ASSERT_EQ(load_language("English", true), 0);

    EXPECT_EQ(translate("a"), "3");
    EXPECT_FALSE(translation_table.contains("b"));
    EXPECT_EQ(translate("c"), "read again");
    EXPECT_EQ(language_list, QStringList({"English", "English", "Deutsch", "English"}));
    EXPECT_EQ(current_language_index, 3);
}

TEST_F(localisation, long_lines_arrive_as_pieces)
{
    // The first line arrives as pieces of 2047, 2047 and 12 bytes: the first piece's text has
    // no closing quote, and the third piece is an entry of its own. The other long lines
    // arrive as 2047, 2047 and 907 bytes.
    const QByteArray cut_entry = "cut=\"" + QByteArray(4094 - 5, 'x') + "tail=\"Tail\"";
    ASSERT_EQ(cut_entry.size() + 1, 2047 + 2047 + 12);
    write_languages(
        "[English]\n"
        "btn_back=\"Back\"\n" +
        cut_entry + "\n" + QByteArray(5000, ' ') + "\n" +  // blanks only
        QByteArray(4999, ' ') + "=\"x\"\n" +               // blanks, then a bare value part
        "long=\"" + QByteArray(4993, 'y') + "\"\n" + "menu_exit=\"Exit\"\n");
    ASSERT_EQ(load_language("English", true), 0);

    EXPECT_EQ(translate("btn_back"), "Back");
    EXPECT_EQ(translate("tail"), "Tail");
    EXPECT_FALSE(translation_table.contains("cut"));
    EXPECT_FALSE(translation_table.contains("long"));
    EXPECT_EQ(translate("menu_exit"), "Exit");
}

TEST_F(localisation, missing_file_changes_nothing)
{
    translation_table["btn_back"] = "Back";
    language_list = QStringList({"English", "Deutsch", "Italiano"});
    current_language_index = 2;

    EXPECT_EQ(load_language("English", false), -1);
    EXPECT_EQ(load_language("Italiano", true), -1);

    EXPECT_EQ(translation_table.size(), 1u);
    EXPECT_EQ(translation_table.at("btn_back"), "Back");
    EXPECT_EQ(language_list, QStringList({"English", "Deutsch", "Italiano"}));
    EXPECT_EQ(current_language_index, 2);
    EXPECT_EQ(language_code(), "it");
}

TEST_F(localisation, code_without_a_current_language_is_en)
{
    EXPECT_EQ(language_code(), "en");  // no file loaded

    // A load that shortens the list leaves the marked index beyond its end.
    write_languages("[English]\n[Deutsch]\n[Italiano]\n");
    ASSERT_EQ(load_language("Italiano", true), 0);
    write_languages("[English]\n");
    ASSERT_EQ(load_language("English", false), 0);
    EXPECT_EQ(current_language_index, 2);
    EXPECT_EQ(language_code(), "en");
}

TEST_F(localisation, image_paths_follow_the_current_language)
{
    EXPECT_EQ(localized_image_path("btn_start_scan", "1"), "/images/multilang/en/btn_start_scan1.png");

    write_languages("[English]\n[日本語]\n");
    load_both(QString::fromUtf8("日本語"));
    EXPECT_EQ(localized_image_path("btn_resume_recovery", "3"), "/images/multilang/jp/btn_resume_recovery3.png");
    EXPECT_EQ(top_button_image_path("2", "1"), ":/images/multilang/jp/btn_top21.png");
}

TEST_F(localisation, button_style_sheet_puts_the_resource_colon_before_each_path)
{
    EXPECT_EQ(button_style_sheet("/images/a1.png", "/images/a2.png", "/images/a3.png"),
              "QPushButton{ border-image: url(:/images/a1.png); }"
              "QPushButton:hover{ border-image: url(:/images/a2.png);}"
              "QPushButton:pressed{  border-image: url(:/images/a3.png);}");
}

TEST(localisation_format_size, limits_are_strict)
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0B"},
        {1024, "1024B"},
        {1025, "1.00K"},
        {1536, "1.50K"},
        {1048576, "1024.00K"},
        {1048577, "1.00M"},
        {1073741824, "1024.00M"},
        {1073741825, "1.00G"},
        {4294967296, "4.00G"},
        {13421772800, "12.50G"},
        {std::numeric_limits<std::uint64_t>::max(), "17179869184.00G"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(format_size(bytes), text) << bytes;
    }
}
