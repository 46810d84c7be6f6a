#include "skin/message_box.h"

#include <QFileDialog>
#include <QPixmap>

#include "settings/localisation.h"

namespace {

box_hook& current_box_hook()
{
    static box_hook hook;
    return hook;
}

file_dialog_hook& current_file_dialog_hook()
{
    static file_dialog_hook hook;
    return hook;
}

QString ask_file_dialog(const file_dialog_request_s& request)
{
    if (const auto& hook = current_file_dialog_hook()) {
        return hook(request);
    }
    switch (request.kind) {
    case file_dialog_kind::directory:
        return QFileDialog::getExistingDirectory(request.parent, request.caption, request.directory);
    case file_dialog_kind::open_file:
        return QFileDialog::getOpenFileName(request.parent, request.caption, request.directory, request.filter);
    case file_dialog_kind::save_file:
        return QFileDialog::getSaveFileName(request.parent, request.caption, request.directory, request.filter);
    }
    return {};
}

}  // namespace

QMessageBox::StandardButton warning_box(QWidget* parent, const char* key, QMessageBox::StandardButtons buttons,
                                        const QString& title, const QString& details)
{
    return notice_box(parent, translate(key), buttons, title, details);
}

QMessageBox::StandardButton notice_box(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
                                       const QString& title, const QString& details)
{
    // A box without buttons gets the toolkit's OK when it is shown; adding it here gives the
    // same box and lets a hook see it too.
    if (buttons == QMessageBox::NoButton) {
        buttons = QMessageBox::Ok;
    }
    QMessageBox box(QMessageBox::Warning, title, text, buttons, parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setIconPixmap(QPixmap(QStringLiteral(":/images/top.ico")));
    if (!details.isEmpty()) {
        box.setInformativeText(details);
    }
    if (const auto& hook = current_box_hook()) {
        return hook(box);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void set_box_hook(box_hook hook)
{
    current_box_hook() = std::move(hook);
}

void set_file_dialog_hook(file_dialog_hook hook)
{
    current_file_dialog_hook() = std::move(hook);
}

QString choose_directory(QWidget* parent, const QString& caption, const QString& directory)
{
    return ask_file_dialog({file_dialog_kind::directory, parent, caption, directory, {}});
}

QString choose_open_file(QWidget* parent, const QString& caption, const QString& directory, const QString& filter)
{
    return ask_file_dialog({file_dialog_kind::open_file, parent, caption, directory, filter});
}

QString choose_save_file(QWidget* parent, const QString& caption, const QString& directory, const QString& filter)
{
    return ask_file_dialog({file_dialog_kind::save_file, parent, caption, directory, filter});
}
