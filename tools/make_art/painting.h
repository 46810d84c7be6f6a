#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>

#include <functional>

// Small drawing helpers shared by every image set of the generator.

// A fully transparent premultiplied ARGB canvas.
QImage blank_canvas(int width, int height);

// A painter with antialiasing for shapes, text and scaled images.
void smooth(QPainter& painter);

// The soft shadow of a shape: `shape` is filled in `colour` on a canvas of `size`, and its
// alpha is blurred with three box passes of `radius`, which is close to a Gaussian.
QImage soft_shadow(QSize size, const std::function<void(QPainter&)>& shape, int radius,
                   QColor colour);

// A rounded rectangle as a path (x, y, width, height, corner radius).
QPainterPath rounded(const QRectF& rect, qreal radius);

// A rectangle whose top corners are rounded and whose bottom corners are square.
QPainterPath rounded_top(const QRectF& rect, qreal radius);

// Text fitted into a box: the largest pixel size from `largest` down to `smallest` at which
// the text, broken into at most `max_lines` lines, fits. Lines break at blanks; text with
// no blank (Chinese, Japanese) breaks at the marks "|" it holds (which are not drawn), or
// between any two of its CJK characters when it holds none; a single Latin word never
// breaks. Throws when nothing fits or when
// the font lacks a glyph of the text, so that no caption is drawn clipped or with
// placeholder boxes.
struct fitted_text_s {
  QFont font;
  QStringList lines;
  qreal line_height = 0;
};
fitted_text_s fit_text(const QString& text, const QString& family, QFont::Weight weight,
                       int largest, int smallest, QSizeF box, int max_lines);

// Draws fitted lines centred horizontally in `box`, the block centred vertically.
void draw_centred(QPainter& painter, const fitted_text_s& text, const QRectF& box, QColor colour);

// Draws fitted lines left-aligned at the top of `box`.
void draw_left(QPainter& painter, const fitted_text_s& text, const QRectF& box, QColor colour);

// Saves an image as PNG at `path` (folders made as needed); throws on failure.
void save_png(const QImage& image, const QString& path);
