#include "pages/progress_bar.h"

#include <QPainter>

void progress_bar_c::set_look(const QString& image_path, const QColor& track)
{
    image = QPixmap(image_path);
    brush = QBrush(image);
    colour = track;
    value = 0.0;
}

void progress_bar_c::paint(QPainter& painter, const QRect& rect) const
{
    painter.fillRect(rect, colour);
    // Even at 0 one column of the fill shows, so the bar reads as a bar from the start.
    QRect done = rect;
    done.setRight(static_cast<int>(rect.left() + (rect.right() - rect.left()) * value));
    painter.fillRect(done, brush);
    painter.setPen(Qt::black);
    painter.drawText(rect, Qt::AlignHCenter | Qt::AlignTop, QString::asprintf("%d%%", static_cast<int>(value * 100)));
}
