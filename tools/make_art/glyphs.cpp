#include "tools/make_art/glyphs.h"

#include <QPainterPath>
#include <QtMath>

namespace glyph {
namespace {

// Puts the painter on the 24-unit grid of `box` with a round-capped pen of `width` units.
void enter_grid(QPainter& painter, const QRectF& box, QColor colour, qreal width) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(box.topLeft());
  painter.scale(box.width() / 24.0, box.height() / 24.0);
  QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
}

}  // namespace

void file_restore(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  QPainterPath page;
  page.moveTo(5.5, 3);
  page.lineTo(14, 3);
  page.lineTo(18.5, 7.5);
  page.lineTo(18.5, 21);
  page.lineTo(5.5, 21);
  page.closeSubpath();
  painter.drawPath(page);
  painter.drawPolyline(QPolygonF{{14, 3}, {14, 7.5}, {18.5, 7.5}});
  painter.drawLine(QPointF(12, 18), QPointF(12, 11));
  painter.drawPolyline(QPolygonF{{9, 13.8}, {12, 10.8}, {15, 13.8}});
  painter.restore();
}

void partitions(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  QPainterPath rest;
  rest.moveTo(11, 13);
  rest.arcTo(QRectF(2.5, 4.5, 17, 17), 90, 270);
  rest.closeSubpath();
  painter.drawPath(rest);
  QPainterPath part;
  part.moveTo(13.2, 10.8);
  part.arcTo(QRectF(4.7, 2.3, 17, 17), 0, 90);
  part.closeSubpath();
  painter.setBrush(colour);
  painter.drawPath(part);
  painter.restore();
}

void magnifier(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 2.0);
  painter.drawEllipse(QPointF(10.5, 10.5), 6.5, 6.5);
  painter.setPen(QPen(colour, 2.8, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(15.4, 15.4), QPointF(20.5, 20.5));
  painter.restore();
}

void deep_scan(QPainter& painter, const QRectF& box, QColor colour) {
  magnifier(painter, box, colour);
  enter_grid(painter, box, colour, 1.5);
  painter.drawLine(QPointF(7.5, 8.8), QPointF(13.5, 8.8));
  painter.drawLine(QPointF(7.5, 12.2), QPointF(11.5, 12.2));
  painter.restore();
}

void folder_resume(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  QPainterPath path;
  path.moveTo(3, 18);
  path.lineTo(3, 6.5);
  path.quadTo(3, 5, 4.5, 5);
  path.lineTo(9.5, 5);
  path.lineTo(11.5, 7);
  path.lineTo(19.5, 7);
  path.quadTo(21, 7, 21, 8.5);
  path.lineTo(21, 18);
  path.quadTo(21, 19.5, 19.5, 19.5);
  path.lineTo(4.5, 19.5);
  path.quadTo(3, 19.5, 3, 18);
  painter.drawPath(path);
  painter.setBrush(colour);
  painter.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolygon(QPolygonF{{10.3, 10}, {15.3, 13.2}, {10.3, 16.4}});
  painter.restore();
}

void folder(QPainter& painter, const QRectF& box, QColor back, QColor front) {
  enter_grid(painter, box, back, 0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(back);
  QPainterPath tab;
  tab.moveTo(2, 19);
  tab.lineTo(2, 5.5);
  tab.quadTo(2, 4, 3.5, 4);
  tab.lineTo(9, 4);
  tab.lineTo(11, 6.5);
  tab.lineTo(20.5, 6.5);
  tab.quadTo(22, 6.5, 22, 8);
  tab.lineTo(22, 19);
  tab.closeSubpath();
  painter.drawPath(tab);
  painter.setBrush(front);
  QPainterPath face;
  face.moveTo(2, 20.5);
  face.lineTo(2, 10.5);
  face.quadTo(2, 9, 3.5, 9);
  face.lineTo(20.5, 9);
  face.quadTo(22, 9, 22, 10.5);
  face.lineTo(22, 20.5);
  face.closeSubpath();
  painter.drawPath(face);
  painter.restore();
}

void house(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  painter.drawPolyline(QPolygonF{{3, 11.5}, {12, 4}, {21, 11.5}});
  painter.drawPolyline(QPolygonF{{5.5, 10}, {5.5, 20}, {18.5, 20}, {18.5, 10}});
  painter.drawPolyline(QPolygonF{{10, 20}, {10, 14.5}, {14, 14.5}, {14, 20}});
  painter.restore();
}

void trash(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  painter.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
  painter.drawPolyline(QPolygonF{{9, 6.5}, {9, 4}, {15, 4}, {15, 6.5}});
  painter.drawPolyline(QPolygonF{{6, 6.5}, {7, 20.5}, {17, 20.5}, {18, 6.5}});
  painter.drawLine(QPointF(10.2, 10), QPointF(10.2, 17));
  painter.drawLine(QPointF(13.8, 10), QPointF(13.8, 17));
  painter.restore();
}

void gear(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  QPainterPath outline;
  const int teeth = 8;
  for (int i = 0; i < teeth * 4; ++i) {
    // Each tooth: two points on the outer radius, two on the inner one.
    const qreal angle = (i - 0.5) * M_PI * 2 / (teeth * 4);
    const qreal radius = (i % 4 == 0 || i % 4 == 1) ? 10.0 : 7.6;
    const QPointF point(12 + radius * qCos(angle), 12 + radius * qSin(angle));
    if (i == 0)
      outline.moveTo(point);
    else
      outline.lineTo(point);
  }
  outline.closeSubpath();
  outline.addEllipse(QPointF(12, 12), 3.4, 3.4);
  outline.setFillRule(Qt::OddEvenFill);
  painter.drawPath(outline);
  painter.restore();
}

void platter(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 1.8);
  painter.drawEllipse(QPointF(12, 12), 9, 9);
  painter.setPen(QPen(colour, 1.2, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(QRectF(6, 6, 12, 12), 100 * 16, 150 * 16);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawEllipse(QPointF(12, 12), 2.2, 2.2);
  painter.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(12, 12), QPointF(17.5, 16.5));
  painter.restore();
}

void recover(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 2.2);
  const QPointF centre(12, 12);
  const qreal radius = 8, start = 70, span = 280;
  painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                  int(start * 16), int(span * 16));
  // Arrowhead at the arc's end, pointing on along the arc (counter-clockwise).
  const qreal end = qDegreesToRadians(start + span);
  const QPointF tip_base(centre.x() + radius * qCos(end), centre.y() - radius * qSin(end));
  const QPointF along(-qSin(end), -qCos(end)), outward(qCos(end), -qSin(end));
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPolygon(
      QPolygonF{tip_base + along * 3.6, tip_base + outward * 3.2, tip_base - outward * 3.2});
  painter.drawEllipse(centre, 3.2, 3.2);
  painter.restore();
}

void drive(QPainter& painter, const QRectF& box, QColor body, QColor light) {
  enter_grid(painter, box, body, 0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(body);
  painter.drawRoundedRect(QRectF(2, 6, 20, 12), 2.5, 2.5);
  painter.setBrush(QColor(255, 255, 255, 90));
  painter.drawRect(QRectF(2, 11.6, 20, 0.9));
  painter.setBrush(light);
  painter.drawEllipse(QPointF(18, 15), 1.4, 1.4);
  painter.setBrush(QColor(255, 255, 255, 150));
  painter.drawRoundedRect(QRectF(4.5, 14.2, 7, 1.6), 0.8, 0.8);
  painter.restore();
}

void check(QPainter& painter, const QRectF& box, QColor colour) {
  enter_grid(painter, box, colour, 3.0);
  painter.drawPolyline(QPolygonF{{5.5, 12.5}, {10, 17}, {18.5, 7.5}});
  painter.restore();
}

void cross(QPainter& painter, const QRectF& box, QColor colour, qreal width) {
  enter_grid(painter, box, colour, width);
  painter.drawLine(QPointF(6, 6), QPointF(18, 18));
  painter.drawLine(QPointF(18, 6), QPointF(6, 18));
  painter.restore();
}

}  // namespace glyph
