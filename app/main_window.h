#pragma once
// The one top-level window: the skinned frame around five pages that lie on top of each
// other in one grid cell, one shown at a time. The pages never move between each other:
// their buttons come here, and the slots below decide each move, refuse moves while start-up
// runs and ask before a running file scan is abandoned. The window owns its pages for the
// whole run, and the pages' worker threads through owned_threads(), which are stopped and
// waited for when the window closes.
#include "app/thread_keeper.h"
#include "app/ui_main_form.h"
#include "skin/skin_widget.h"

class home_window_c;
class volume_window_c;
class drive_window_c;
class partition_window_c;
class recovery_window_c;

class main_window_c : public QSkinWidget, public Ui_MainForm {
    Q_OBJECT
public:
    explicit main_window_c(QWidget* parent = nullptr);
    ~main_window_c() override;

    void show_page(int number) override;
    void leave_recovery_page() override;

    QWidget* page() const { return current_page; }
    home_window_c* home() const { return home_page; }
    volume_window_c* volumes() const { return volume_page; }
    drive_window_c* drives() const { return drive_page; }
    partition_window_c* partitions() const { return partition_page; }
    recovery_window_c* recovery() const { return recovery_page; }
    thread_keeper_c& owned_threads() { return threads; }

public slots:
    void on_click_home_start();
    void on_click_home_resume();
    void on_click_volume_back();
    void on_click_recovery_back();
    void on_click_volume_refresh();
    void on_click_volume_scan();
    void on_click_drive_scan();
    void on_click_drive_refresh();
    void on_click_drive_back();
    void on_click_partition_back();
    void on_init_finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* current_page = nullptr;
    home_window_c* home_page = nullptr;
    drive_window_c* drive_page = nullptr;
    volume_window_c* volume_page = nullptr;
    partition_window_c* partition_page = nullptr;
    recovery_window_c* recovery_page = nullptr;
    thread_keeper_c threads;
};
