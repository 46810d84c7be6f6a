// Buttons in three looks (files ending 1 normal, 2 hover, 3 pressed) and, where a set has a
// fourth, 4 disabled: the localized mode buttons of the title band, the two large home
// buttons, the page buttons, the dialog button and the title band's icon set.
#include "tools/make_art/art_output.h"
#include "tools/make_art/captions.h"
#include "tools/make_art/glyphs.h"
#include "tools/make_art/palette.h"
#include "tools/make_art/painting.h"

#include <QLinearGradient>

#include <algorithm>
#include <tuple>

namespace {

enum class look { normal = 1, hover = 2, pressed = 3, disabled = 4 };
using glyph_fn = void (*)(QPainter&, const QRectF&, QColor);

// A tile on the blue title band: no plate when normal, a light plate on hover, a darker
// one when pressed; a disabled tile is faded.
void band_plate(QPainter& painter, QSizeF size, look state, qreal radius) {
  const QRectF plate(0.5, 0.5, size.width() - 1, size.height() - 1);
  if (state == look::hover) {
    painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawPath(rounded(plate, radius));
  } else if (state == look::pressed) {
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
    painter.setBrush(QColor(8, 28, 70, 70));
    painter.drawPath(rounded(plate, radius));
  }
}

QColor band_ink(look state) {
  return state == look::disabled ? QColor(255, 255, 255, 110) : palette::white;
}

// Mode button of the title band, 95 x 70: icon over a caption of up to two lines.
// Text boxes of the captions: the mode button's under its icon, the home button's title and
// note right of its badge (the home buttons' text is as wide as the button less 116 px).
const QSizeF mode_caption_box(87, 28);
QSizeF home_title_box(int width) { return {width - 116.0, 52}; }
QSizeF home_note_box(int width) { return {width - 116.0, 32}; }

// Caption sizes of one language: one size for the three mode buttons, one for both home
// titles and one for both notes, the largest at which every caption of the group fits.
struct caption_sizes_s {
  int mode = 0, title = 0, note = 0;
};

int fitted_px(const QString& text, const QString& family, QFont::Weight weight, int largest,
              int smallest, QSizeF box) {
  return fit_text(text, family, weight, largest, smallest, box, 2).font.pixelSize();
}

caption_sizes_s caption_sizes(const captions_s& c) {
  caption_sizes_s sizes{13, 21, 13};
  for (const QString& caption : {c.files, c.partitions, c.deep})
    sizes.mode = std::min(sizes.mode,
                          fitted_px(caption, c.family, QFont::DemiBold, 13, 9, mode_caption_box));
  for (const auto& [width, title, note] : {std::tuple{330, c.start_title, c.start_note},
                                           std::tuple{323, c.resume_title, c.resume_note}}) {
    sizes.title = std::min(sizes.title,
                           fitted_px(title, c.family, QFont::Bold, 21, 13, home_title_box(width)));
    sizes.note = std::min(sizes.note,
                          fitted_px(note, c.family, QFont::Normal, 13, 10, home_note_box(width)));
  }
  return sizes;
}

QImage mode_button(glyph_fn glyph, const QString& caption, const QString& family, int px,
                   look state) {
  QImage image = blank_canvas(95, 70);
  QPainter painter(&image);
  smooth(painter);
  band_plate(painter, image.size(), state, 8);
  const qreal shift = state == look::pressed ? 1 : 0;
  glyph(painter, QRectF(33.5, 7 + shift, 28, 28), band_ink(state));
  const QRectF area(QPointF(4, 38 + shift), mode_caption_box);
  const fitted_text_s text = fit_text(caption, family, QFont::DemiBold, px, 9, area.size(), 2);
  draw_centred(painter, text, area, band_ink(state));
  return image;
}

// One of the two large home buttons: a card with an icon badge, a title and a note.
// The first is filled with the accent (the main action), the second is a white card.
QImage home_button(int width, bool primary, glyph_fn glyph, const QString& title,
                   const QString& note, const QString& family, const caption_sizes_s& px,
                   look state) {
  const int height = 106;
  QImage image = blank_canvas(width, height);
  const QRectF card(6, 4, width - 12, height - 12);
  const bool pressed = state == look::pressed;
  const QImage shadow = soft_shadow(
      image.size(),
      [&](QPainter& p) { p.drawPath(rounded(card.translated(0, pressed ? 1 : 2.5), 10)); },
      pressed ? 2 : 3, QColor(20, 50, 100, pressed ? 60 : 80));
  QPainter painter(&image);
  smooth(painter);
  painter.drawImage(0, 0, shadow);
  const QPainterPath shape = rounded(card, 10);
  QColor ink, note_ink, badge, badge_ink;
  if (primary) {
    QLinearGradient fill(0, card.top(), 0, card.bottom());
    const QColor top = state == look::hover ? palette::accent_light.lighter(108)
                       : pressed            ? palette::accent_dark
                                            : palette::accent_light;
    const QColor low = state == look::hover ? palette::accent_light
                       : pressed            ? palette::accent_dark
                                            : palette::accent;
    fill.setColorAt(0, top);
    fill.setColorAt(1, low);
    painter.fillPath(shape, fill);
    ink = palette::white;
    note_ink = QColor(255, 255, 255, 205);
    badge = QColor(255, 255, 255, pressed ? 40 : 50);
    badge_ink = palette::white;
  } else {
    const QColor fill = state == look::hover ? QColor(247, 250, 255)
                        : pressed            ? palette::tint
                                             : palette::white;
    const QColor border = state == look::normal ? palette::line : palette::frame;
    painter.fillPath(shape, fill);
    painter.setPen(QPen(border, 1));
    painter.drawPath(rounded(card.adjusted(0.5, 0.5, -0.5, -0.5), 9.5));
    ink = palette::navy;
    note_ink = palette::slate;
    badge = state == look::normal ? palette::tint : palette::tint_strong;
    badge_ink = palette::accent;
  }
  const QPointF centre(card.left() + 47, card.center().y() + (pressed ? 0.5 : 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(badge);
  painter.drawEllipse(centre, 29, 29);
  glyph(painter, QRectF(centre.x() - 17, centre.y() - 17, 34, 34), badge_ink);
  const qreal left = card.left() + 90, text_width = home_title_box(width).width();
  const fitted_text_s head =
      fit_text(title, family, QFont::Bold, px.title, 13, home_title_box(width), 2);
  const fitted_text_s small =
      fit_text(note, family, QFont::Normal, px.note, 10, home_note_box(width), 2);
  const qreal gap = 4;
  const qreal block =
      head.line_height * head.lines.size() + gap + small.line_height * small.lines.size();
  const qreal y = centre.y() - block / 2;
  draw_left(painter, head, QRectF(left, y, text_width, 52), ink);
  draw_left(painter, small,
            QRectF(left, y + head.line_height * head.lines.size() + gap, text_width, 32), note_ink);
  return image;
}

// A page button: a rounded, filled plate for a white bold caption that the page sets.
QImage page_button(QSize size, QColor base, look state) {
  QImage image = blank_canvas(size.width(), size.height());
  QPainter painter(&image);
  smooth(painter);
  const QRectF plate(0.5, 0.5, size.width() - 1, size.height() - 2);
  QColor top, low;
  switch (state) {
    case look::normal:
      top = base.lighter(112);
      low = base;
      break;
    case look::hover:
      top = base.lighter(126);
      low = base.lighter(112);
      break;
    case look::pressed:
      top = base.darker(118);
      low = base.darker(112);
      break;
    case look::disabled:
      top = low = palette::disabled;
      break;
  }
  // A one-pixel drop below the plate.
  painter.fillPath(rounded(plate.translated(0, 1), 5),
                   QColor(20, 50, 100, state == look::pressed ? 20 : 45));
  QLinearGradient fill(0, plate.top(), 0, plate.bottom());
  fill.setColorAt(0, top);
  fill.setColorAt(1, low);
  painter.fillPath(rounded(plate, 5), fill);
  painter.setPen(QPen(QColor(0, 20, 60, 40), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(rounded(plate.adjusted(0, 0, 0, 0), 5));
  return image;
}

void localized_buttons(art_output_c& out) {
  const glyph_fn modes[] = {glyph::file_restore, glyph::partitions, glyph::deep_scan};
  for (const captions_s& c : caption_table()) {
    const QString folder = "images/multilang/" + c.code + "/";
    const QString captions[] = {c.files, c.partitions, c.deep};
    const caption_sizes_s px = caption_sizes(c);
    for (int a = 0; a < 3; ++a)
      for (int b = 1; b <= 4; ++b)
        out.png(folder + QString("btn_top%1%2.png").arg(a + 1).arg(b),
                mode_button(modes[a], captions[a], c.family, px.mode, look(b)));
    for (int n = 1; n <= 3; ++n) {
      out.png(folder + QString("btn_start_scan%1.png").arg(n),
              home_button(330, true, glyph::magnifier, c.start_title, c.start_note, c.family, px,
                          look(n)));
      out.png(folder + QString("btn_resume_recovery%1.png").arg(n),
              home_button(323, false, glyph::folder_resume, c.resume_title, c.resume_note, c.family,
                          px, look(n)));
    }
  }
}

// The home folder's own pair of buttons: the English looks, for a page that has not chosen
// a language.
void home_buttons(art_output_c& out) {
  const captions_s& en = caption_table().front();
  const caption_sizes_s px = caption_sizes(en);
  for (int n = 1; n <= 3; ++n) {
    out.png(QString("images/home/buttonscan%1.png").arg(n),
            home_button(330, true, glyph::magnifier, en.start_title, en.start_note, en.family, px,
                        look(n)));
    out.png(QString("images/home/buttonrecovery%1.png").arg(n),
            home_button(323, false, glyph::folder_resume, en.resume_title, en.resume_note,
                        en.family, px, look(n)));
  }
}

void plain_buttons(art_output_c& out) {
  const QColor slate_blue(84, 104, 138);
  for (int n = 1; n <= 4; ++n) {
    out.png(QString("images/partition_search/btn_wai_%1.png").arg(n),
            page_button({100, 30}, palette::accent, look(n)));
    out.png(QString("images/partition_search/btn_nei_%1.png").arg(n),
            page_button({100, 30}, slate_blue, look(n)));
    out.png(QString("images/partition_search/btn_start_%1.png").arg(n),
            page_button({80, 30}, palette::accent, look(n)));
  }
  for (int n = 1; n <= 3; ++n)
    out.png(QString("images/dialogs/bigbutter%1.png").arg(n),
            page_button({120, 36}, palette::accent, look(n)));
}

// The title band's icon set: 64 x 64 tiles with a white line icon.
void top_icons(art_output_c& out) {
  const struct {
    const char* name;
    glyph_fn glyph;
  } icons[] = {{"home", glyph::house},           {"lostfiles", glyph::file_restore},
               {"partition", glyph::partitions}, {"raw", glyph::deep_scan},
               {"delete", glyph::trash},         {"setting", glyph::gear}};
  for (const auto& icon : icons)
    for (int n = 1; n <= 4; ++n) {
      QImage image = blank_canvas(64, 64);
      QPainter painter(&image);
      smooth(painter);
      band_plate(painter, image.size(), look(n), 10);
      const qreal shift = look(n) == look::pressed ? 1 : 0;
      icon.glyph(painter, QRectF(14, 14 + shift, 36, 36), band_ink(look(n)));
      painter.end();
      out.png(QString("images/top/%1%2.png").arg(icon.name).arg(n), image);
    }
}

}  // namespace

void draw_button_art(art_output_c& out) {
  localized_buttons(out);
  home_buttons(out);
  plain_buttons(out);
  top_icons(out);
}
