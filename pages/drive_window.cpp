#include "pages/drive_window.h"

#include <QPainter>

#include "app/main_window.h"
#include "disk/drive_list.h"
#include "pages/drive_model.h"
#include "pages/page_look.h"

drive_window_c::drive_window_c(main_window_c* main_window, QWidget* parent) : QWidget(parent), main_window(main_window)
{
    setupUi(this);
    lv_drives->setItemDelegate(new drive_delegate_c(lv_drives));
    size_and_name_list_buttons(btn_back, btn_refresh, btn_scan);
    connect(btn_refresh, &QPushButton::clicked, main_window, &main_window_c::on_click_drive_refresh);
    connect(btn_back, &QPushButton::clicked, main_window, &main_window_c::on_click_drive_back);
    connect(btn_scan, &QPushButton::clicked, main_window, &main_window_c::on_click_drive_scan);
}

void drive_window_c::install(const QList<drive_item_s>& list)
{
    replace_model(lv_drives, model, new drive_model_c(&list, lv_drives));
}

void drive_window_c::set_drive_list(const QList<drive_item_s>& list)
{
    install(list);
    if (list.size() > 1) {
        lv_drives->setCurrentIndex(model->index(1));
    }
}

void drive_window_c::refresh()
{
    enumerate_drives();
    install(drive_list);
}

std::optional<drive_item_s> drive_window_c::selected_drive() const
{
    const QModelIndex current = lv_drives->currentIndex();
    if (!model || !current.isValid()) {
        return std::nullopt;
    }
    return model->list()->at(current.row());
}

void drive_window_c::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint_select_heading(p, width());
}

void drive_window_c::resizeEvent(QResizeEvent* event)
{
    place_list_page(width(), height(), btn_back, btn_refresh, btn_scan, lv_drives);
    QWidget::resizeEvent(event);
}
