#include "pages/page_look.h"

#include <QPainter>
#include <QPixmap>

#include "settings/localisation.h"

void style_page_button(QPushButton* button, const QColor& text)
{
    QFont font(QStringLiteral("Arial"), 11);
    font.setBold(true);
    font.setWeight(QFont::Bold);
    button->setFont(font);
    QPalette palette = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText, text);
    }
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    button->setPalette(palette);
    button->setStyleSheet(
        QStringLiteral("QPushButton{ border-image: url(:/images/partition_search/btn_wai_1.png); }\n"
                       "QPushButton:hover{ border-image: url(:/images/partition_search/btn_wai_2.png);}\n"
                       "QPushButton:pressed{  border-image: url(:/images/partition_search/btn_wai_3.png);}"));
}

void style_page_list(QListView* list)
{
    list->setStyleSheet(QStringLiteral("QListView  {\n    border-style: none;\n    border: 1px solid #8bb8fe;\n }\n"));
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void paint_page_band(QPainter& painter, int width)
{
    const QPixmap band(QStringLiteral(":/images/background/bai.png"));
    if (!band.isNull()) {
        painter.fillRect(QRect(0, 0, width, band.height()), QBrush(band));
    }
}

void paint_select_heading(QPainter& painter, int width)
{
    paint_page_band(painter, width);
    painter.setFont(QFont(QStringLiteral("Arial"), 12));
    painter.setPen(Qt::black);
    painter.drawText(23, 30, translate("volume_select"));
}

void place_list_page(int w, int h, QPushButton* back, QPushButton* refresh, QPushButton* scan, QListView* list)
{
    back->move(175, h - 54);
    refresh->move(w / 2 - 50, h - 54);
    scan->move(w - 275, h - 54);
    list->setGeometry(25, 45, w - 50, h - 140);
}

void paint_row_ground(QPainter& painter, const QStyleOptionViewItem& option, int row)
{
    if (row % 2 == 0) {
        painter.fillRect(option.rect, QColor(241, 250, 255));
    }
    if (option.state & QStyle::State_Selected) {
        painter.fillRect(option.rect, QColor(81, 149, 206));
    }
}

QPushButton* make_page_button(QWidget* form, const char* name, const QRect& geometry, const QColor& text)
{
    auto* button = new QPushButton(form);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    style_page_button(button, text);
    return button;
}

QListView* make_page_list(QWidget* form, const char* name, const QRect& geometry)
{
    auto* list = new QListView(form);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(geometry);
    style_page_list(list);
    return list;
}

void size_and_name_list_buttons(QPushButton* back, QPushButton* refresh, QPushButton* scan)
{
    for (QPushButton* b : {back, refresh, scan}) {
        b->resize(100, 30);
    }
    back->setText(translate("btn_back"));
    scan->setText(translate("btn_scan"));
    refresh->setText(translate("btn_refresh"));
}

QString fit_text(const QPainter& painter, const QString& text, int width)
{
    return painter.fontMetrics().elidedText(text, Qt::ElideMiddle, width);
}
