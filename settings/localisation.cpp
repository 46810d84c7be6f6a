#include "settings/localisation.h"

#include "settings/language_file.h"
#include "settings/language_line.h"

std::map<QByteArray, QString> translation_table;
QStringList language_list;
int current_language_index = 0;

namespace {

// Relative to the working directory unless set_language_file names another place.
QString& language_file_path()
{
    static QString path = QStringLiteral("language.ini");
    return path;
}

struct language_code_s {
    const char* name;  // UTF-8, as the settings and the file's section headers write it
    const char* code;
};

// The image folders of the resources; "en" stands for every other name.
const language_code_s language_codes[] = {
    {"Deutsch", "de"},  {"Français", "fr"}, {"Español", "es"},   {"简体中文", "cn"},   {"繁體中文", "hk"},
    {"Italiano", "it"}, {"日本語", "jp"},   {"Português", "pt"}, {"Nederlands", "nl"}, {"العربية", "ar"},
};

}  // namespace

void set_language_file(const QString& path)
{
    language_file_path() = path;
}

int load_language(const QString& name, bool mark)
{
    language_file_c file(language_file_path());
    if (!file.open()) {
        return -1;
    }
    language_list.clear();
    bool inside = false;
    std::string line;
    while (file.next_piece(line)) {
        if (auto section = language_line::match_section(line)) {
            const QString section_name = QString::fromStdString(*section);
            language_list.append(section_name);
            if (inside) {
                // Any header ends the section being read, without being compared: a section
                // of the same name right after it is skipped.
                inside = false;
            } else if (section_name == name) {
                inside = true;
                if (mark) {
                    current_language_index = int(language_list.size()) - 1;
                }
            }
        } else if (inside) {
            if (auto entry = language_line::match_entry(line)) {
                translation_table[QByteArray::fromStdString(entry->key)] =
                    QString::fromStdString(language_line::expand_escapes(entry->text));
            }
        }
    }
    return 0;
}

const QString& translate(QByteArrayView key)
{
    return translation_table[key.toByteArray()];
}

QString language_code_of(const QString& name)
{
    for (const language_code_s& entry : language_codes) {
        if (name.compare(QString::fromUtf8(entry.name), Qt::CaseInsensitive) == 0) {
            return QString::fromLatin1(entry.code);
        }
    }
    return QStringLiteral("en");
}

QString language_code()
{
    // A later load may have shortened the list under a marked index.
    if (current_language_index < 0 || current_language_index >= language_list.size()) {
        return QStringLiteral("en");
    }
    return language_code_of(language_list[current_language_index]);
}

QString localized_image_path(const QString& base, const QString& n)
{
    return QStringLiteral("/images/multilang/") + language_code() + QLatin1Char('/') + base + n +
           QStringLiteral(".png");
}

QString top_button_image_path(const QString& a, const QString& b)
{
    return QLatin1Char(':') + localized_image_path(QStringLiteral("btn_top") + a, b);
}

QString button_style_sheet(const QString& normal, const QString& hover, const QString& pressed)
{
    return QString::asprintf(
        "QPushButton{ border-image: url(:%s); }QPushButton:hover{ border-image: url(:%s);}"
        "QPushButton:pressed{  border-image: url(:%s);}",
        normal.toLocal8Bit().constData(), hover.toLocal8Bit().constData(), pressed.toLocal8Bit().constData());
}

QString format_size(std::uint64_t bytes)
{
    constexpr std::uint64_t k = 1024;
    if (bytes > k * k * k) {
        return QString::asprintf("%.2fG", double(bytes) / double(k * k * k));
    }
    if (bytes > k * k) {
        return QString::asprintf("%.2fM", double(bytes) / double(k * k));
    }
    if (bytes > k) {
        return QString::asprintf("%.2fK", double(bytes) / double(k));
    }
    return QString::asprintf("%dB", int(bytes));
}
