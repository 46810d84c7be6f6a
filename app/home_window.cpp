#include "app/home_window.h"

#include <QPainter>
#include <QPixmap>

#include "app/main_window.h"
#include "settings/localisation.h"

home_window_c::home_window_c(main_window_c* main_window, QWidget* parent) : QWidget(parent), main_window(main_window)
{
    setupUi(this);
    lbl_wenzi->setGeometry(55, 262, 692, 188);
    btn_start->setGeometry(40, 105, 330, 106);
    btn_resume->setGeometry(425, 105, 323, 106);
    const auto style = [](const char* base) {
        const QString name = QString::fromLatin1(base);
        return button_style_sheet(localized_image_path(name, QStringLiteral("1")),
                                  localized_image_path(name, QStringLiteral("2")),
                                  localized_image_path(name, QStringLiteral("3")));
    };
    btn_start->setStyleSheet(style("btn_start_scan"));
    btn_resume->setStyleSheet(style("btn_resume_recovery"));
    connect(btn_start, &QPushButton::clicked, main_window, &main_window_c::on_click_home_start);
    connect(btn_resume, &QPushButton::clicked, main_window, &main_window_c::on_click_home_resume);
    // paintEvent draws the same picture.
    lbl_wenzi->hide();
}

void home_window_c::paintEvent(QPaintEvent*)
{
    const int h = height();
    QPainter p(this);
    const QPixmap band(QStringLiteral(":/images/background/bai.png"));
    if (!band.isNull()) {
        p.fillRect(QRect(0, 0, width(), band.height()), QBrush(band));
    }
    p.drawPixmap(55, h - 240, QPixmap(QStringLiteral(":/images/home/wenzi.png")));
    p.setFont(QFont(QStringLiteral("arial"), 8));
    p.setPen(QColor(91, 135, 201));
    p.drawText(70, h - 190, translate("home_text1"));
    p.drawText(70, h - 140, translate("home_text2"));
    p.drawText(70, h - 90, translate("home_text3"));
}

void home_window_c::resizeEvent(QResizeEvent* event)
{
    const int h = height();
    for (QPushButton* b : {btn_start, btn_resume}) {
        b->move(b->x(), static_cast<int>(h - (h * 0.55 + b->height())));
    }
    lbl_wenzi->move(lbl_wenzi->x(), h - lbl_wenzi->height() - 60);
    QWidget::resizeEvent(event);
}
