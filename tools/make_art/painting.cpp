#include "tools/make_art/painting.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QRawFont>

#include <algorithm>
#include <stdexcept>
#include <vector>

QImage blank_canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void smooth(QPainter& painter) {
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                         QPainter::SmoothPixmapTransform);
}

namespace {

// One box-blur pass along rows (step 1) or columns (step width) of a float plane.
void box_pass(std::vector<float>& plane, int width, int height, int radius, bool rows) {
  const int lines = rows ? height : width;
  const int length = rows ? width : height;
  std::vector<float> line(length);
  for (int l = 0; l < lines; ++l) {
    auto at = [&](int i) -> float& { return rows ? plane[l * width + i] : plane[i * width + l]; };
    for (int i = 0; i < length; ++i) line[i] = at(i);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < length) ? line[i] : 0.0f;
    for (int i = 0; i < length; ++i) {
      at(i) = sum / float(2 * radius + 1);
      const int out = i - radius, in = i + radius + 1;
      if (out >= 0) sum -= line[out];
      if (in < length) sum += line[in];
    }
  }
}

}  // namespace

QImage soft_shadow(QSize size, const std::function<void(QPainter&)>& shape, int radius,
                   QColor colour) {
  QImage mask(size, QImage::Format_ARGB32_Premultiplied);
  mask.fill(Qt::transparent);
  {
    QPainter painter(&mask);
    smooth(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    shape(painter);
  }
  const int w = size.width(), h = size.height();
  std::vector<float> alpha(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) alpha[size_t(y) * w + x] = qAlpha(mask.pixel(x, y)) / 255.0f;
  for (int pass = 0; pass < 3 && radius > 0; ++pass) {
    box_pass(alpha, w, h, radius, true);
    box_pass(alpha, w, h, radius, false);
  }
  QImage out = blank_canvas(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float a = std::clamp(alpha[size_t(y) * w + x], 0.0f, 1.0f) * colour.alphaF();
      out.setPixel(
          x, y,
          qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), int(a * 255.0f + 0.5f))));
    }
  return out;
}

QPainterPath rounded(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

QPainterPath rounded_top(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.moveTo(rect.left(), rect.bottom());
  path.lineTo(rect.left(), rect.top() + radius);
  path.arcTo(QRectF(rect.left(), rect.top(), 2 * radius, 2 * radius), 180, -90);
  path.lineTo(rect.right() - radius, rect.top());
  path.arcTo(QRectF(rect.right() - 2 * radius, rect.top(), 2 * radius, 2 * radius), 90, -90);
  path.lineTo(rect.right(), rect.bottom());
  path.closeSubpath();
  return path;
}

namespace {

// Breaks `text` into lines no wider than `width` with the metrics given; empty when a
// single word (or character) is wider than the line.
QStringList wrap(const QString& text, const QFontMetricsF& metrics, qreal width) {
  const bool blanks = text.contains(' ');
  QStringList pieces;
  if (blanks) {
    pieces = text.split(' ', Qt::SkipEmptyParts);
  } else if (text.contains('|')) {
    pieces = text.split('|', Qt::SkipEmptyParts);
  } else if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; })) {
    for (QChar c : text) pieces << QString(c);
  } else {
    pieces << text;
  }
  const QString glue = blanks ? QStringLiteral(" ") : QString();
  QStringList lines;
  QString current;
  for (const QString& piece : pieces) {
    const QString candidate = current.isEmpty() ? piece : current + glue + piece;
    if (metrics.horizontalAdvance(candidate) <= width) {
      current = candidate;
      continue;
    }
    if (current.isEmpty()) return {};
    lines << current;
    current = piece;
    if (metrics.horizontalAdvance(current) > width) return {};
  }
  if (!current.isEmpty()) lines << current;
  return lines;
}

void require_glyphs(const QFont& font, const QString& text) {
  const QRawFont raw = QRawFont::fromFont(font);
  if (!raw.isValid() || raw.familyName() != font.family())
    throw std::runtime_error("font not installed: " + font.family().toStdString());
  for (QChar c : text) {
    if (c.isSpace()) continue;
    if (!raw.supportsCharacter(c))
      throw std::runtime_error("font " + font.family().toStdString() + " lacks a glyph of \"" +
                               text.toStdString() + "\"");
  }
}

}  // namespace

fitted_text_s fit_text(const QString& text, const QString& family, QFont::Weight weight,
                       int largest, int smallest, QSizeF box, int max_lines) {
  const QString shown = QString(text).remove('|');
  for (int px = largest; px >= smallest; --px) {
    QFont font(family);
    font.setPixelSize(px);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(font);
    const QStringList lines = wrap(text, metrics, box.width());
    if (lines.isEmpty() || lines.size() > max_lines) continue;
    const qreal line_height = metrics.height() * 0.96;
    if (line_height * lines.size() > box.height() + 0.5) continue;
    require_glyphs(font, shown);
    return {font, lines, line_height};
  }
  throw std::runtime_error("caption does not fit: \"" + text.toStdString() + "\"");
}

void draw_centred(QPainter& painter, const fitted_text_s& text, const QRectF& box, QColor colour) {
  painter.save();
  painter.setFont(text.font);
  painter.setPen(colour);
  const qreal block = text.line_height * text.lines.size();
  qreal top = box.top() + (box.height() - block) / 2;
  for (const QString& line : text.lines) {
    painter.drawText(QRectF(box.left(), top, box.width(), text.line_height),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextDontClip, line);
    top += text.line_height;
  }
  painter.restore();
}

void draw_left(QPainter& painter, const fitted_text_s& text, const QRectF& box, QColor colour) {
  painter.save();
  painter.setFont(text.font);
  painter.setPen(colour);
  qreal top = box.top();
  for (const QString& line : text.lines) {
    painter.drawText(QRectF(box.left(), top, box.width(), text.line_height),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, line);
    top += text.line_height;
  }
  painter.restore();
}

void save_png(const QImage& image, const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!image.save(path, "PNG", 0)) throw std::runtime_error("cannot write " + path.toStdString());
}
