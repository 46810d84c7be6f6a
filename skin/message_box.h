#pragma once
// The one way in which notices and yes-or-no questions are shown, and the file dialogs of
// the window. Each has a hook that answers it instead of the user, for tests: with a hook
// set, the box is built as usual and handed to the hook, which says how it was closed, and
// a file dialog is described to the hook, which gives the chosen path. Users never see a
// difference, as no hook is set in the program.
#include <QMessageBox>
#include <QString>
#include <functional>

// A modal warning box titled `title` with the text translate(key), the given buttons (none
// given: the toolkit's single OK) and the program's icon; `details`, when given, is shown
// below the text (rich text such as a <pre> table is shown as such). Returns the button that
// closed it.
QMessageBox::StandardButton warning_box(QWidget* parent, const char* key,
                                        QMessageBox::StandardButtons buttons = QMessageBox::NoButton,
                                        const QString& title = QStringLiteral("Orvane"), const QString& details = {});

// The same box with a text made by the caller (already translated).
QMessageBox::StandardButton notice_box(QWidget* parent, const QString& text,
                                       QMessageBox::StandardButtons buttons = QMessageBox::NoButton,
                                       const QString& title = QStringLiteral("Orvane"), const QString& details = {});

using box_hook = std::function<QMessageBox::StandardButton(QMessageBox& box)>;
// Answers every following box instead of showing it; an empty hook shows boxes again.
void set_box_hook(box_hook hook);

enum class file_dialog_kind { directory, open_file, save_file };

struct file_dialog_request_s {
    file_dialog_kind kind;
    QWidget* parent;
    QString caption;
    QString directory;
    QString filter;
};

using file_dialog_hook = std::function<QString(const file_dialog_request_s& request)>;
void set_file_dialog_hook(file_dialog_hook hook);

// The toolkit's file dialogs, or the hook's answer. An empty text means cancelled.
QString choose_directory(QWidget* parent, const QString& caption, const QString& directory = {});
QString choose_open_file(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);
QString choose_save_file(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);
