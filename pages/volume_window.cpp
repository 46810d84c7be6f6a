#include "pages/volume_window.h"

#include <QPainter>

#include "app/main_window.h"
#include "pages/page_look.h"
#include "pages/volume_model.h"
#include "recovery/fat/fat_drive_table.h"
#include "skin/message_box.h"
#include "volumes/volume_enumeration.h"

volume_window_c::volume_window_c(main_window_c* main_window, QWidget* parent)
    : QWidget(parent), main_window(main_window)
{
    setupUi(this);
    lv_volumes->setItemDelegate(new volume_delegate_c(lv_volumes));
    size_and_name_list_buttons(btn_back, btn_refresh, btn_scan);
    connect(btn_scan, &QPushButton::clicked, main_window, &main_window_c::on_click_volume_scan);
    connect(this, &volume_window_c::start_scan, main_window, &main_window_c::on_click_volume_scan);
    connect(btn_back, &QPushButton::clicked, main_window, &main_window_c::on_click_volume_back);
    connect(btn_refresh, &QPushButton::clicked, main_window, &main_window_c::on_click_volume_refresh);
    connect(lv_volumes, &QListView::doubleClicked, this, &volume_window_c::on_double_clicked);
}

void volume_window_c::set_volume_list(const QList<volume_item_s>& list)
{
    replace_model(lv_volumes, model, new volume_model_c(&list, lv_volumes));
}

void volume_window_c::refresh()
{
    enumerate_volumes();
    reopen_fat_drives();
    set_volume_list(volume_item_list);
}

std::optional<volume_item_s> volume_window_c::selected_volume()
{
    const QModelIndex current = lv_volumes->currentIndex();
    if (!model || !current.isValid()) {
        warning_box(this, "scan_nosel_warning", QMessageBox::Ok);
        return std::nullopt;
    }
    return model->list()->at(current.row());
}

void volume_window_c::on_double_clicked(const QModelIndex&)
{
    emit start_scan();
}

void volume_window_c::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint_select_heading(p, width());
}

void volume_window_c::resizeEvent(QResizeEvent* event)
{
    place_list_page(width(), height(), btn_back, btn_refresh, btn_scan, lv_volumes);
    QWidget::resizeEvent(event);
}
