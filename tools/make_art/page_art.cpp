// What the pages paint: the light band across each page's top, the home page's text card,
// the progress and usage bars, the list icons and check boxes, and the two small
// animations (the partition search's badge and the scan's disk).
#include "tools/make_art/art_output.h"
#include "tools/make_art/glyphs.h"
#include "tools/make_art/palette.h"
#include "tools/make_art/painting.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QtMath>

namespace {

// Light band under the title band, fading into the white page; tiled across the width.
void bands(art_output_c& out) {
  QImage band = blank_canvas(16, 90);
  {
    QPainter painter(&band);
    QLinearGradient fill(0, 0, 0, 90);
    fill.setColorAt(0, QColor(232, 241, 252));
    fill.setColorAt(1, palette::white);
    painter.fillRect(band.rect(), fill);
  }
  out.png("images/background/bai.png", band);

  QImage glow = blank_canvas(360, 90);
  {
    QPainter painter(&glow);
    QRadialGradient fill(180, 0, 180);
    fill.setColorAt(0, QColor(255, 255, 255, 150));
    fill.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(glow.rect(), fill);
  }
  out.png("images/background/gaoguang.png", glow);

  QImage header = blank_canvas(8, 24);
  {
    QPainter painter(&header);
    QLinearGradient fill(0, 0, 0, 24);
    fill.setColorAt(0, palette::white);
    fill.setColorAt(1, QColor(232, 246, 255));
    painter.fillRect(header.rect(), fill);
  }
  out.png("images/recovery/jianbian.png", header);
}

// The home page's card behind its three lines of text, whose baselines the page draws 50,
// 100 and 150 pixels below the card's top, 15 pixels in from its left edge.
void text_card(art_output_c& out) {
  QImage image = blank_canvas(692, 188);
  QPainter painter(&image);
  smooth(painter);
  const QRectF card(0.5, 0.5, 691, 186);
  painter.fillPath(rounded(card.translated(0, 1), 10), QColor(20, 50, 100, 18));
  painter.fillPath(rounded(card, 10), QColor(248, 251, 255));
  painter.setPen(QPen(palette::line, 1));
  painter.drawPath(rounded(card, 10));
  painter.setPen(QPen(QColor(226, 235, 248), 1));
  for (qreal y : {75.5, 125.5}) painter.drawLine(QPointF(15, y), QPointF(677, y));
  painter.setPen(Qt::NoPen);
  painter.setBrush(palette::accent_light);
  for (qreal baseline : {50.0, 100.0, 150.0})
    painter.drawRoundedRect(QRectF(5, baseline - 12, 3.5, 14), 1.75, 1.75);
  painter.end();
  out.png("images/home/wenzi.png", image);
}

// Progress bar pieces, 12 pixels high: the filled part with soft diagonal stripes that tile
// seamlessly, and the empty track.
void progress_bars(art_output_c& out) {
  QImage fill = blank_canvas(24, 12);
  {
    QPainter painter(&fill);
    smooth(painter);
    painter.fillRect(fill.rect(), QColor(92, 152, 232));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 45));
    for (int x = -24; x <= 24; x += 12)
      painter.drawPolygon(QPolygonF{{qreal(x), 12}, {x + 6.0, 12}, {x + 18.0, 0}, {x + 12.0, 0}});
  }
  out.png("images/partition_search/loding_on.png", fill);
  QImage track = blank_canvas(24, 12);
  {
    QPainter painter(&track);
    painter.fillRect(track.rect(), QColor(226, 240, 253));
    painter.fillRect(QRect(0, 0, 24, 1), QColor(204, 222, 244));
  }
  out.png("images/partition_search/loding_bj.png", track);
}

// Usage bar textures, 18 pixels high: the page fills one row more, which repeats the first.
void usage_bars(art_output_c& out) {
  for (const auto& [name, colour] :
       {std::pair{"red", palette::danger}, std::pair{"green", palette::good}}) {
    QImage image = blank_canvas(16, 18);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, 0, 18);
    fill.setColorAt(0, colour.lighter(112));
    fill.setColorAt(0.5, colour.lighter(104));
    fill.setColorAt(1, colour);
    painter.fillRect(image.rect(), fill);
    painter.end();
    out.png(QString("images/partition_search/%1.png").arg(name), image);
  }
}

void list_icons(art_output_c& out) {
  QImage drive = blank_canvas(20, 20);
  {
    QPainter painter(&drive);
    smooth(painter);
    glyph::drive(painter, QRectF(0, 0, 20, 20), palette::accent, QColor(120, 220, 150));
  }
  out.png("images/partition_search/drives.png", drive);

  QImage folder = blank_canvas(16, 16);
  {
    QPainter painter(&folder);
    smooth(painter);
    glyph::folder(painter, QRectF(0, 0, 16, 16), QColor(84, 138, 214), QColor(120, 168, 236));
  }
  out.png("images/recovery/folder.png", folder);

  for (bool checked : {false, true}) {
    QImage box = blank_canvas(14, 14);
    QPainter painter(&box);
    smooth(painter);
    const QRectF plate(0.5, 0.5, 13, 13);
    if (checked) {
      painter.fillPath(rounded(plate, 3), palette::accent);
      glyph::check(painter, QRectF(1, 1, 12, 12), palette::white);
    } else {
      painter.fillPath(rounded(plate, 3), palette::white);
      painter.setPen(QPen(palette::frame, 1));
      painter.drawPath(rounded(plate, 3));
    }
    painter.end();
    out.png(checked ? "images/partition_search/check2.png" : "images/partition_search/check1.png",
            box);
  }

  for (bool plus : {false, true}) {
    QImage box = blank_canvas(11, 11);
    QPainter painter(&box);
    painter.fillRect(QRect(0, 0, 11, 11), palette::frame);
    painter.fillRect(QRect(1, 1, 9, 9), palette::white);
    painter.fillRect(QRect(3, 5, 5, 1), palette::accent_dark);
    if (plus) painter.fillRect(QRect(5, 3, 1, 5), palette::accent_dark);
    painter.end();
    out.png(plus ? "images/recovery/toggle_plus.png" : "images/recovery/toggle.png", box);
  }
}

// The partition page's badge, 64 x 64, in five frames: a lens circling over a disk.
void search_badges(art_output_c& out) {
  for (int n = 1; n <= 5; ++n) {
    QImage image = blank_canvas(64, 64);
    QPainter painter(&image);
    smooth(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::tint);
    painter.drawEllipse(QPointF(32, 32), 31, 31);
    glyph::platter(painter, QRectF(13, 13, 38, 38), palette::frame.darker(108));
    // The lens circles the disk; its handle stays inside the badge.
    const qreal angle = qDegreesToRadians(45.0 + (n - 1) * 72.0);
    const QPointF lens(32 + 7 * qCos(angle), 32 + 7 * qSin(angle));
    painter.setBrush(QColor(255, 255, 255, 190));
    painter.drawEllipse(lens, 7, 7);
    const qreal box = 26, lens_offset = 10.5 * box / 24;
    glyph::magnifier(painter, QRectF(lens.x() - lens_offset, lens.y() - lens_offset, box, box),
                     palette::accent);
    painter.end();
    out.png(QString("images/partition_search/icon_found%1.png").arg(n), image);
  }
}

// The scan animation, 130 x 86, twelve frames: a sweep turning over a disk on a round white
// badge at the left, where the page leaves room beside its status texts. GIF keeps one bit
// of alpha, so soft edges are blended over the page's light band colour first.
void scan_animation(art_output_c& out) {
  const QPointF centre(50, 43);
  const QColor matte(241, 247, 254);
  for (int frame = 0; frame < 12; ++frame) {
    QImage image = blank_canvas(130, 86);
    QPainter painter(&image);
    smooth(painter);
    painter.setPen(QPen(palette::line, 1));
    painter.setBrush(palette::white);
    painter.drawEllipse(centre, 26, 26);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette::tint_strong, 1.2));
    for (qreal r : {20.0, 14.0, 8.0}) painter.drawEllipse(centre, r, r);
    const qreal heading = -frame * 30.0;
    QConicalGradient sweep(centre, heading);
    QColor lead = palette::accent;
    lead.setAlpha(150);
    sweep.setColorAt(0, lead);
    sweep.setColorAt(0.25, QColor(43, 108, 212, 0));
    sweep.setColorAt(1, QColor(43, 108, 212, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sweep);
    painter.drawEllipse(centre, 21, 21);
    const qreal a = qDegreesToRadians(heading);
    painter.setPen(QPen(palette::accent, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(21 * qCos(a), -21 * qSin(a)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::accent);
    painter.drawEllipse(centre, 3.5, 3.5);
    painter.end();
    QImage flat = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < flat.height(); ++y)
      for (int x = 0; x < flat.width(); ++x) {
        const QRgb p = flat.pixel(x, y);
        const int alpha = qAlpha(p);
        if (alpha == 0 || alpha == 255) continue;
        auto mix = [&](int c, int m) { return (c * alpha + m * (255 - alpha)) / 255; };
        flat.setPixel(x, y,
                      qRgb(mix(qRed(p), matte.red()), mix(qGreen(p), matte.green()),
                           mix(qBlue(p), matte.blue())));
      }
    out.piece(QString("ani_%1.png").arg(frame, 2, 10, QChar('0')), flat);
  }
  out.assembled("images/recovery/ani.gif");
}

}  // namespace

void draw_page_art(art_output_c& out) {
  bands(out);
  text_card(out);
  progress_bars(out);
  usage_bars(out);
  list_icons(out);
  search_badges(out);
  scan_animation(out);
}
