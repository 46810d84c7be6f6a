#include "settings/settings_store.h"

#include <QSettings>
#include <iterator>

#include "settings/localisation.h"

QSettings* settings_file = nullptr;
QString recovery_folder;
QString language;

namespace {

const char settings_file_name[] = "Orvane.ini";
const char installer_language_variable[] = "ORVANE_INSTALLER_LANGUAGE";
const char recovery_folder_key[] = "recovery_folder";
const char language_key[] = "language";

// The installer's codes 1 to 10, in order. The names equal the section names of
// "language.ini" character for character.
const char* const installer_languages[] = {
    "English", "Deutsch",  "Español",  "Français",   "Italiano",
    "日本語",  "简体中文", "繁體中文", "Nederlands", "Português",
};

// The object is left alive at exit on purpose: it is flushed after every write, and Qt's own
// settings cache may already be gone when static objects are destroyed.
QSettings& open_settings_file()
{
    if (settings_file == nullptr) {
        settings_file = new QSettings(QString::fromLatin1(settings_file_name), QSettings::IniFormat);
    }
    return *settings_file;
}

}  // namespace

int load_settings()
{
    // A new load (tests make several in different folders) opens the file afresh.
    delete settings_file;
    settings_file = nullptr;
    QSettings& settings = open_settings_file();

    recovery_folder = settings.value(recovery_folder_key).toString();
    language = settings.value(language_key).toString();
    if (language.isEmpty()) {
        if (std::optional<QString> installer = read_installer_language()) {
            language = *installer;
            settings.setValue(language_key, language);
            settings.sync();
        } else {
            language = QStringLiteral("English");
        }
    }

    load_language(QStringLiteral("English"), false);
    load_language(language, true);
    return 0;
}

int save_settings()
{
    QSettings& settings = open_settings_file();
    settings.setValue(recovery_folder_key, recovery_folder);
    settings.setValue(language_key, language);
    settings.sync();
    return 0;
}

std::optional<QString> read_installer_language()
{
    const QByteArray value = qgetenv(installer_language_variable);
    if (value.isEmpty()) {
        return std::nullopt;
    }
    for (char c : value) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const int code = value.toInt(&ok, 10);  // fails on a number too large for int
    if (!ok || code < 1 || code > int(std::size(installer_languages))) {
        return std::nullopt;
    }
    return QString::fromUtf8(installer_languages[code - 1]);
}
