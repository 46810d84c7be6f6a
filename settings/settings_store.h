#pragma once
// The values that outlive a run: the user's language and a recovery folder, kept in
// "Orvane.ini" in the working directory (INI format, general section). The installer's
// choice of language, given in the environment variable ORVANE_INSTALLER_LANGUAGE as a
// code from 1 to 10, is taken only while the file holds no language.
//
// Loaded once at the start of the process, before the application object exists; the
// values then live in memory until the process ends. User-interface thread only.
#include <QString>
#include <optional>

class QSettings;

// The settings object on "Orvane.ini", made by load_settings and kept until the process ends.
extern QSettings* settings_file;

// Read at start and written back unchanged on every save; nothing in the program changes it.
extern QString recovery_folder;

// The name of the language in use, a section name of "language.ini".
extern QString language;

// Reads the settings, takes the installer's language when the file holds none (and writes
// it to the file at once), falls back to "English" (not written), then loads the texts:
// English first, then the chosen language marked as current. Returns 0.
int load_settings();

// Writes both keys and flushes the file. Returns 0; a file that cannot be written fails
// silently and the values in memory stay in use.
int save_settings();

// The language name for the installer's code in ORVANE_INSTALLER_LANGUAGE, or nothing when
// the variable is unset or holds anything but a decimal number from 1 to 10.
std::optional<QString> read_installer_language();
