#include "pages/drive_model.h"

#include <QPainter>

#include "pages/page_look.h"
#include "settings/localisation.h"

namespace {

void paint_header(QPainter& p, const QRect& r)
{
    const int w = r.width();
    p.fillRect(r, QColor(232, 246, 255));
    p.setPen(QPen(QColor(211, 231, 255), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    for (const double share : {0.5, 0.85}) {
        const int x = share_of(w, share);
        p.drawLine(x, 0, x, r.top() + r.height());
    }
    p.setPen(Qt::black);
    p.setFont(QFont(QStringLiteral("Verdana"), 10));
    const int y = r.top() + 20;
    p.drawText(60, y, translate("drive_physical_drives"));
    p.drawText(share_of(w, 0.5) + 70, y, QObject::tr("Size"));
    p.drawText(share_of(w, 0.85) + 15, y, QObject::tr("Number"));
}

}  // namespace

void drive_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const std::optional<drive_item_s> held = held_item<drive_item_s>(index.data());
    if (!held) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const drive_item_s& drive = *held;
    QPainter& p = *painter;
    p.save();
    paint_row_ground(p, option, index.row());
    if (!drive.geometry) {
        paint_header(p, option.rect);
    } else {
        const int w = option.rect.width();
        const int y = option.rect.top() + 20;
        p.setPen(Qt::black);
        p.setFont(QFont(QStringLiteral("Verdana"), 8));
        p.drawText(60, y, fit_text(p, drive.path, share_of(w, 0.5)));
        p.drawText(share_of(w, 0.5) + 70, y, format_size(drive.size));
        p.drawText(share_of(w, 0.85) + 15, y, QString::number(index.row()));
    }
    p.restore();
}

QSize drive_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return row_size(option);
}
