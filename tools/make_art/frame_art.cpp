// The window's frame: a blue title band with a soft shadow round the window, cut into the
// four edge images that the skinned window stretches to its size, the title-bar buttons,
// the logo and the program icon; the dialogs' frame in the same style.
#include "tools/make_art/art_output.h"
#include "tools/make_art/glyphs.h"
#include "tools/make_art/palette.h"
#include "tools/make_art/painting.h"

#include <QLinearGradient>

namespace {

// Shadow widths: the window's left and right edge images are `side` wide, the bottom one
// `bottom` high; above the title band only a thin `top` shadow, so that the title-bar
// buttons, placed one pixel below the window's top edge, sit on the band.
constexpr int side = 6, top = 3, bottom = 8;
constexpr int reference_width = 200, reference_height = 160, corner = 6;

// A window of the reference size: the shadow of its body, and its title band `band` high
// (measured from the window's top edge) drawn over it.
QImage reference_window(int band) {
  const QRectF body(side, top, reference_width - 2 * side, reference_height - top - bottom);
  QImage image = soft_shadow(
      QSize(reference_width, reference_height),
      [&](QPainter& p) { p.drawPath(rounded_top(body.translated(0, 1.5), corner)); }, 2,
      QColor(10, 25, 50, 110));
  QPainter painter(&image);
  smooth(painter);
  // The body itself stays clear: the pages paint it.
  painter.setCompositionMode(QPainter::CompositionMode_Clear);
  painter.fillPath(rounded_top(body, corner), Qt::black);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QRectF band_rect(side, top, body.width(), band - top);
  QLinearGradient fill(0, top, 0, band);
  fill.setColorAt(0, palette::band_top);
  fill.setColorAt(1, palette::band_bottom);
  painter.fillPath(rounded_top(band_rect, corner), fill);
  // A faint light line along the band's top, a faint dark one along its bottom.
  painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
  painter.drawLine(QPointF(side + corner, top + 0.5),
                   QPointF(reference_width - side - corner, top + 0.5));
  painter.setPen(QPen(QColor(10, 40, 90, 70), 1));
  painter.drawLine(QPointF(side, band - 0.5), QPointF(reference_width - side, band - 0.5));
  return image;
}

// The edge images of a frame whose title band is `band` high.
void frame_edges(art_output_c& out, const QString& folder, int band) {
  const QImage window = reference_window(band);
  out.png(folder + "so.png", window.copy(0, 0, reference_width, band));
  const int middle = reference_height / 2;
  out.png(folder + "sl.png", window.copy(0, middle, side, 16));
  out.png(folder + "sr.png", window.copy(reference_width - side, middle, side, 16));
  // Bottom: the two corners, and a middle taken from the centre column.
  QImage su = blank_canvas(2 * side + 4, bottom);
  {
    QPainter painter(&su);
    const int y = reference_height - bottom;
    painter.drawImage(0, 0, window.copy(0, y, side, bottom));
    painter.drawImage(side + 4, 0, window.copy(reference_width - side, y, side, bottom));
    const QImage column = window.copy(reference_width / 2, y, 1, bottom);
    for (int x = side; x < side + 4; ++x) painter.drawImage(x, 0, column);
  }
  out.png(folder + "su.png", su);
}

// One look of a title-bar button, 30 x 21, placed one pixel below the window's top edge.
// Its glyph sits left of the image's centre, so that the close button stays clear of the
// right shadow.
enum class chip { none, light, dark, danger, danger_dark };

QImage system_button(chip background, const std::function<void(QPainter&, QRectF)>& glyph) {
  QImage image = blank_canvas(30, 21);
  QPainter painter(&image);
  smooth(painter);
  const QPointF centre(14, 11.5);
  QColor fill;
  switch (background) {
    case chip::none:
      break;
    case chip::light:
      fill = QColor(255, 255, 255, 48);
      break;
    case chip::dark:
      fill = QColor(10, 30, 70, 70);
      break;
    case chip::danger:
      fill = palette::danger;
      break;
    case chip::danger_dark:
      fill = palette::danger.darker(120);
      break;
  }
  if (fill.isValid()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(centre, 8.5, 8.5);
  }
  glyph(painter, QRectF(centre.x() - 7, centre.y() - 7, 14, 14));
  return image;
}

void system_buttons(art_output_c& out) {
  const QColor ink(255, 255, 255, 235);
  auto line_pen = [&](QPainter& p) {
    p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
  };
  const auto close = [&](QPainter& p, QRectF box) {
    glyph::cross(p, box.adjusted(1, 1, -1, -1), ink, 2.4);
  };
  const auto maximise = [&](QPainter& p, QRectF box) {
    line_pen(p);
    p.drawRect(QRectF(box.center().x() - 4.5, box.center().y() - 4, 9, 8));
  };
  const auto restore = [&](QPainter& p, QRectF box) {
    line_pen(p);
    const QPointF c = box.center();
    p.drawRect(QRectF(c.x() - 5, c.y() - 2, 7.5, 6.5));
    p.drawPolyline(QPolygonF{{c.x() - 2.5, c.y() - 2},
                             {c.x() - 2.5, c.y() - 4.5},
                             {c.x() + 5, c.y() - 4.5},
                             {c.x() + 5, c.y() + 2},
                             {c.x() + 2.5, c.y() + 2}});
  };
  const auto minimise = [&](QPainter& p, QRectF box) {
    line_pen(p);
    p.drawLine(QPointF(box.center().x() - 4.5, box.center().y() + 0.5),
               QPointF(box.center().x() + 4.5, box.center().y() + 0.5));
  };
  const auto settings = [&](QPainter& p, QRectF box) {
    glyph::gear(p, box.adjusted(1, 1, -1, -1), ink);
  };
  const struct {
    const char* name;
    std::function<void(QPainter&, QRectF)> glyph;
    bool danger;
  } buttons[] = {{"quiButton", close, true},
                 {"maxButton", maximise, false},
                 {"resumeButton", restore, false},
                 {"minButton", minimise, false},
                 {"settingButton", settings, false}};
  for (const auto& b : buttons) {
    const QString base = QStringLiteral("images/system/") + b.name;
    out.png(base + "1.png", system_button(chip::none, b.glyph));
    out.png(base + "2.png", system_button(b.danger ? chip::danger : chip::light, b.glyph));
    out.png(base + "3.png", system_button(b.danger ? chip::danger_dark : chip::dark, b.glyph));
  }
}

// The program's mark: a turning arrow round a disk, in a rounded square.
QImage mark(int size, QColor plate, QColor ink) {
  QImage image = blank_canvas(size, size);
  QPainter painter(&image);
  smooth(painter);
  const qreal r = size * 0.22;
  if (plate == palette::accent) {
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, palette::accent_light);
    fill.setColorAt(1, palette::accent_dark);
    painter.fillPath(rounded(QRectF(0, 0, size, size), r), fill);
  } else {
    painter.fillPath(rounded(QRectF(0, 0, size, size), r), plate);
  }
  const qreal inset = size * 0.16;
  glyph::recover(painter, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), ink);
  return image;
}

void logo(art_output_c& out) {
  QImage image = blank_canvas(110, 44);
  QPainter painter(&image);
  smooth(painter);
  painter.drawImage(QPointF(0, 5), mark(34, palette::white, palette::accent));
  const fitted_text_s name =
      fit_text("Vantrel", "Liberation Sans", QFont::Bold, 22, 14, QSizeF(70, 34), 1);
  draw_left(painter, name, QRectF(40, 5, 70, 34), palette::white);
  painter.end();
  out.png("images/top/logo.png", image);
}

}  // namespace

void draw_frame_art(art_output_c& out) {
  frame_edges(out, "images/system/", 100);
  frame_edges(out, "images/dialogs/", 34);
  system_buttons(out);
  logo(out);
  // The icon's first image is the one a plain image load takes (the message boxes' icon), so
  // it is a mid size; the others serve the window manager.
  const int sizes[] = {48, 256, 64, 32, 24, 16};
  for (int i = 0; i < 6; ++i)
    out.piece(QString("icon_%1.png").arg(i), mark(sizes[i], palette::accent, palette::white));
  out.assembled("images/top.ico");
}
