#include "pages/placeholder_page.h"

#include <QPainter>

#include "settings/localisation.h"

placeholder_page_c::placeholder_page_c(const QString& object_name, const QString& title, QWidget* parent)
    : QWidget(parent), btn_back(new QPushButton(this)), title(title)
{
    setObjectName(object_name);
    btn_back->setObjectName(QStringLiteral("btn_back"));
    btn_back->setText(translate("btn_back"));
    btn_back->setGeometry(20, 20, 100, 32);
}

void placeholder_page_c::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(91, 135, 201));
    p.setFont(QFont(QStringLiteral("Arial"), 14));
    p.drawText(rect(), Qt::AlignCenter, title);
}
