#pragma once
// A shown main window with the shipped texts, and boxes answered instead of shown: every box
// is recorded with what the user would have seen, and answered from `answer`.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

#include "app/main_window.h"

struct shown_box_s {
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QWidget* parent;
    QString details;  // the text below the main one
};

class window_fixture : public testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // Answers every file dialog from here on with a cancel (as SetUp does).
    static void cancel_file_dialogs();

    // Makes the window (after the test has prepared texts and flags) and shows it.
    void open_window();

    // Presses and releases painted button `index` of the window's list at its centre.
    void click_painted(int index);
    QPoint painted_centre(int index) const;

    std::unique_ptr<main_window_c> window;
    std::vector<shown_box_s> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

// Records the URLs the window opens (QDesktopServices::setUrlHandler with the slot "open").
class url_recorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// The painted buttons, in the order the window creates them.
enum painted_button { mode_files = 0, mode_partition, mode_deep_scan, close_button, maximize, minimize, settings };
