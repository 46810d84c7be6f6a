#pragma once
// The translated texts of the windows and the small text services that the pages share.
//
// "language.ini" (in the working directory unless set_language_file says otherwise) holds
// one section per language, entries key="text" in UTF-8. The settings store loads English
// first and the chosen language over it, so every key that the chosen language lacks keeps
// its English text. The values below are process-wide and touched by the user-interface
// thread only.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>

// Key (compared byte by byte) to text. Filled by the loads, grown by lookups of missing
// keys, never emptied. A sorted map, because the pages look texts up on every paint.
extern std::map<QByteArray, QString> translation_table;

// The section names of the file in file order, duplicates included; rebuilt by each load
// that could open the file.
extern QStringList language_list;

// The position in language_list of the current language; 0 until a marking load finds it.
extern int current_language_index;

// Where load_language reads "language.ini": the working directory unless this names
// another path (the window takes the file that lies beside its executable).
void set_language_file(const QString& path);

// Reads the section `name` (exact, case-sensitive) of the localisation file into translation_table,
// replacing the texts of the keys it holds. With `mark`, the position of that section in
// language_list becomes current_language_index. A section that directly follows one of the
// same name is not read. Returns 0, or -1 when the file cannot be opened (nothing changes).
int load_language(const QString& name, bool mark);

// The text of a key, as a reference into translation_table. A missing key is added with
// an empty text.
const QString& translate(QByteArrayView key);

// The image folder code of a language name ("de", "fr", ..., "en" for any name it does not
// know), compared ignoring case.
QString language_code_of(const QString& name);

// The code of language_list[current_language_index]; "en" when there is no such entry.
QString language_code();

// "/images/multilang/<code>/<base><n>.png": a localized push-button image, without the
// resource colon, which button_style_sheet supplies.
QString localized_image_path(const QString& base, const QString& n);

// ":/images/multilang/<code>/btn_top<a><b>.png": the look b (1 normal, 2 hover, 3 pressed)
// of the top mode button a (1 to 3).
QString top_button_image_path(const QString& a, const QString& b);

// The style sheet of a push button with three looks, each path given as by
// localized_image_path (the resource colon is put in front of it).
QString button_style_sheet(const QString& normal, const QString& hover, const QString& pressed);

// A byte count in short form: "%.2fG", "%.2fM" or "%.2fK" above 1024^3, 1024^2 and 1024
// bytes (strictly), else "%dB".
QString format_size(std::uint64_t bytes);
