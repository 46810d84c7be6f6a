#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

// Line icons drawn on a 24-unit grid scaled into `box`, in one colour, so that every button
// and badge of the program shares one drawing style.
namespace glyph {
void file_restore(QPainter& painter, const QRectF& box, QColor colour);  // file, arrow up
void partitions(QPainter& painter, const QRectF& box, QColor colour);    // disk split in parts
void deep_scan(QPainter& painter, const QRectF& box, QColor colour);     // lens over data
void magnifier(QPainter& painter, const QRectF& box, QColor colour);
void folder_resume(QPainter& painter, const QRectF& box, QColor colour);  // folder, play mark
void folder(QPainter& painter, const QRectF& box, QColor back, QColor front);
void house(QPainter& painter, const QRectF& box, QColor colour);
void trash(QPainter& painter, const QRectF& box, QColor colour);
void gear(QPainter& painter, const QRectF& box, QColor colour);
void platter(QPainter& painter, const QRectF& box, QColor colour);  // disk platter and head
void recover(QPainter& painter, const QRectF& box, QColor colour);  // turning arrow round a disk
void drive(QPainter& painter, const QRectF& box, QColor body, QColor light);
void check(QPainter& painter, const QRectF& box, QColor colour);
void cross(QPainter& painter, const QRectF& box, QColor colour, qreal width);
}  // namespace glyph
