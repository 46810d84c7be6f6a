#include "app/main_window.h"

#include <QCloseEvent>
#include <QIcon>

#include "app/home_window.h"
#include "disk/drive_list.h"
#include "pages/drive_window.h"
#include "pages/partition_window.h"
#include "pages/volume_window.h"
#include "results/recovery_window.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"
#include "volumes/volume_enumeration.h"

main_window_c::main_window_c(QWidget* parent) : QSkinWidget(parent)
{
    setupUi(this);

    home_page = new home_window_c(this, this);
    volume_page = new volume_window_c(this, this);
    volume_page->hide();
    drive_page = new drive_window_c(this, this);
    drive_page->hide();
    partition_page = new partition_window_c(this, this);
    partition_page->hide();
    recovery_page = new recovery_window_c(this);
    recovery_page->hide();

    connect(recovery_page->btn_back, &QPushButton::clicked, this, &main_window_c::on_click_recovery_back);

    for (QWidget* page :
         {static_cast<QWidget*>(home_page), static_cast<QWidget*>(volume_page), static_cast<QWidget*>(drive_page),
          static_cast<QWidget*>(partition_page), static_cast<QWidget*>(recovery_page)}) {
        gridLayout->addWidget(page, 0, 0, 1, 1);
    }
    home_page->raise();
    current_page = home_page;

    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setWindowIcon(QIcon(QStringLiteral(":/images/top.ico")));
}

main_window_c::~main_window_c()
{
    threads.stop_all();
}

void main_window_c::show_page(int number)
{
    QWidget* pages[] = {home_page, volume_page, drive_page, partition_page, recovery_page};
    if (number < 0 || number >= int(std::size(pages))) {
        return;
    }
    current_page->hide();
    current_page = pages[number];
    current_page->raise();
    current_page->show();
    update();
}

void main_window_c::leave_recovery_page()
{
    recovery_page->cancel_scan();
    recovery_page->reset_page();
}

void main_window_c::on_click_home_start()
{
    if (!startup_done) {
        warning_box(this, "startup_warning", QMessageBox::Ok);
        return;
    }
    show_page(1);
}

void main_window_c::on_click_home_resume()
{
    if (!startup_done) {
        warning_box(this, "startup_warning", QMessageBox::Ok);
        return;
    }
    if (recovery_page->load_scan_result() == -1) {
        return;
    }
    show_page(4);
}

void main_window_c::on_click_volume_back()
{
    show_page(0);
}

void main_window_c::on_click_recovery_back()
{
    if (scan_busy && warning_box(this, "back_warning", QMessageBox::Yes | QMessageBox::No) == QMessageBox::No) {
        return;
    }
    leave_recovery_page();
    show_page(1);
}

void main_window_c::on_click_volume_refresh()
{
    volume_page->refresh();
}

void main_window_c::on_click_volume_scan()
{
    const std::optional<volume_item_s> volume = volume_page->selected_volume();
    if (!volume) {
        return;  // the volume page has warned already
    }
    if (volume->device_name.isEmpty()) {
        warning_box(nullptr, "main_warning2", QMessageBox::NoButton, QStringLiteral("Vantrel"));
        return;
    }
    if (recovery_page->start_recovery(*volume, scan_mode) != 0) {
        return;
    }
    show_page(4);
}

void main_window_c::on_click_drive_scan()
{
    const std::optional<drive_item_s> drive = drive_page->selected_drive();
    if (!drive || drive->path.isEmpty()) {
        warning_box(nullptr, "main_warning1", QMessageBox::NoButton, QStringLiteral("Vantrel"));
        return;
    }
    partition_page->start_search(*drive);
    show_page(3);
}

void main_window_c::on_click_drive_refresh()
{
    drive_page->refresh();
}

void main_window_c::on_click_drive_back()
{
    show_page(0);
}

void main_window_c::on_click_partition_back()
{
    partition_page->stop_search();
    show_page(1);
}

void main_window_c::on_init_finished()
{
    volume_page->set_volume_list(volume_item_list);
    drive_page->set_drive_list(drive_list);
}

void main_window_c::closeEvent(QCloseEvent* event)
{
    QSkinWidget::closeEvent(event);
    if (event->isAccepted()) {
        threads.stop_all();
    }
}
