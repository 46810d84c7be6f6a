// Pictures for judging the art together, not resources: the main window's frame, title
// band and home page put together as the window draws them, and a board of the pages'
// pieces (buttons with captions, bars, list rows, icons) on a white page.
#include "tools/make_art/art_output.h"
#include "tools/make_art/painting.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <map>

namespace {

class loader_c {
 public:
  explicit loader_c(QString root) : root_(std::move(root)) {}
  QImage operator()(const QString& path) const {
    QImage image(root_ + "/images/" + path);
    if (image.isNull()) throw std::runtime_error("preview: cannot load " + path.toStdString());
    return image;
  }

 private:
  QString root_;
};

// The English texts of language.ini, for the captions that the pages set themselves.
std::map<QString, QString> english_texts(const QString& resource_root) {
  std::map<QString, QString> texts;
  QFile file(resource_root + "/language.ini");
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return texts;
  QTextStream in(&file);
  bool inside = false;
  const QRegularExpression entry(R"re(^(\w+)="(.*)"\s*$)re");
  while (!in.atEnd()) {
    const QString line = in.readLine();
    if (line.startsWith('[')) {
      inside = line.trimmed() == "[English]";
      continue;
    }
    const auto match = entry.match(line);
    if (inside && match.hasMatch()) texts[match.captured(1)] = match.captured(2);
  }
  return texts;
}

QFont font(const char* family, int points, bool bold = false) {
  QFont f(family);
  f.setPointSize(points);
  f.setBold(bold);
  return f;
}

// The frame as the skinned window draws it: the top edge in three pieces, the bottom edge
// in three, the sides stretched, then the logo and the title.
void draw_frame(QPainter& p, const loader_c& load, int W, int H) {
  const QImage so = load("system/so.png"), su = load("system/su.png");
  const QImage sl = load("system/sl.png"), sr = load("system/sr.png");
  p.drawImage(QRect(W - 64, 0, 64, so.height()), so, QRect(so.width() - 64, 0, 64, so.height()));
  p.drawImage(QRect(0, 0, 64, so.height()), so, QRect(0, 0, 64, so.height()));
  p.drawImage(QRect(64, 0, W - 128, so.height()), so, QRect(64, 0, so.width() - 128, so.height()));
  const int y = H - su.height();
  p.drawImage(QRect(sl.width(), y, W - sl.width() - sr.width(), su.height()), su,
              QRect(sl.width(), 0, su.width() - sl.width() - sr.width(), su.height()));
  p.drawImage(QRect(0, y, sl.width(), su.height()), su, QRect(0, 0, sl.width(), su.height()));
  p.drawImage(QRect(W - sr.width(), y, sr.width(), su.height()), su,
              QRect(su.width() - sr.width(), 0, sr.width(), su.height()));
  const int side = H - so.height() - su.height();
  p.drawImage(QRect(W - sr.width(), so.height(), sr.width(), side), sr);
  p.drawImage(QRect(0, so.height(), sl.width(), side), sl);
  p.drawImage(W - 120, 24, load("top/logo.png"));
  p.setFont(font("Liberation Sans", 9));
  p.setPen(Qt::white);
  p.drawText(10, 20, "Vantrel");
}

void home_preview(const loader_c& load, const QString& resource_root, const QString& out,
                  const QString& lang) {
  const int W = 800, H = 600;
  QImage image = blank_canvas(W, H);
  image.fill(QColor(201, 211, 223));
  QPainter p(&image);
  smooth(p);
  draw_frame(p, load, W, H);
  const QString ml = "multilang/" + lang + "/";
  // Mode buttons in the three looks, to see them side by side.
  p.drawImage(10, 25, load(ml + "btn_top11.png"));
  p.drawImage(113, 25, load(ml + "btn_top22.png"));
  p.drawImage(216, 25, load(ml + "btn_top33.png"));
  const char* system[] = {"quiButton2", "maxButton1", "minButton1", "settingButton1"};
  for (int i = 0; i < 4; ++i)
    p.drawImage(W - 31 - 30 * i, 1, load(QString("system/%1.png").arg(system[i])));
  // The home page in the content area.
  const QImage sl = load("system/sl.png"), su = load("system/su.png");
  const QRect page(sl.width(), 100, W - 2 * sl.width(), H - 100 - su.height());
  p.fillRect(page, Qt::white);
  p.translate(page.topLeft());
  const QImage band = load("background/bai.png");
  p.fillRect(QRect(0, 0, page.width(), band.height()), QBrush(band));
  const int h = page.height();
  const int y = int(h - (h * 0.55 + 106));
  p.drawImage(40, y, load(ml + "btn_start_scan1.png"));
  p.drawImage(425, y, load(ml + "btn_resume_recovery2.png"));
  p.drawImage(55, h - 240, load("home/wenzi.png"));
  const auto texts = english_texts(resource_root);
  p.setFont(font("Liberation Sans", 8));
  p.setPen(QColor(91, 135, 201));
  for (int i = 1; i <= 3; ++i) {
    const auto it = texts.find(QString("home_text%1").arg(i));
    if (it != texts.end()) p.drawText(70, h - 240 + 50 * i, it->second);
  }
  p.end();
  save_png(image, out);
}

// A white page with the pieces the list and scan pages paint.
void parts_preview(const loader_c& load, const QString& resource_root, const QImage& animation,
                   const QString& out) {
  const int W = 800, H = 420;
  QImage image = blank_canvas(W, H);
  image.fill(Qt::white);
  QPainter p(&image);
  smooth(p);
  const QImage band = load("background/bai.png");
  p.fillRect(QRect(0, 0, W, band.height()), QBrush(band));
  const auto texts = english_texts(resource_root);
  auto text = [&](const char* key) {
    const auto it = texts.find(key);
    return it == texts.end() ? QString(key) : it->second;
  };
  p.setFont(font("Liberation Sans", 12));
  p.setPen(Qt::black);
  p.drawText(23, 30, text("volume_select"));
  // Status area of the scan page: animation, progress bar, buttons.
  p.setPen(QColor(139, 184, 241));
  p.drawRect(10, 45, W - 20, 60);
  p.drawImage(0, 32, animation);
  const QRect bar(90, 70, 250, 12);
  p.fillRect(bar, QColor(226, 240, 253));
  p.fillRect(QRect(bar.left(), bar.top(), int(bar.width() * 0.42), bar.height()),
             QBrush(load("partition_search/loding_on.png")));
  p.setPen(Qt::black);
  p.setFont(font("DejaVu Sans", 7));
  p.drawText(bar, Qt::AlignHCenter | Qt::AlignTop, "42%");
  p.setFont(font("DejaVu Sans", 10));
  p.drawText(90, 62, text("raw_progress") + " 1.25G");
  const struct {
    const char* image;
    const char* key;
    int x, y, w, h;
  } buttons[] = {{"btn_start_1", "btn_pause", 360, 61, 80, 30},
                 {"btn_start_2", "btn_stop", 470, 61, 80, 30},
                 {"btn_start_3", "btn_save_result", 580, 61, 80, 30},
                 {"btn_wai_1", "btn_back", 175, 370, 100, 30},
                 {"btn_wai_2", "btn_refresh", 350, 370, 100, 30},
                 {"btn_wai_3", "btn_scan", 525, 370, 100, 30},
                 {"btn_wai_4", "btn_repair", 660, 370, 100, 30}};
  for (const auto& b : buttons) {
    const QRect r(b.x, b.y, b.w, b.h);
    p.drawImage(r, load(QString("partition_search/%1.png").arg(b.image)));
    p.setFont(font("Liberation Sans", 11, true));
    p.setPen(QString(b.image) == "btn_wai_4" ? QColor(127, 127, 127) : Qt::white);
    p.drawText(r, Qt::AlignCenter, text(b.key));
  }
  // Volume rows: header, two volumes with usage bars, one selected.
  const QRect list(25, 125, W - 50, 120);
  p.setPen(QColor(139, 184, 241));
  p.drawRect(list.adjusted(0, 0, -1, -1));
  const int RW = list.width() - 2;
  for (int row = 0; row < 4; ++row) {
    const int Y = list.top() + 1 + row * 30;
    const QRect R(list.left() + 1, Y, RW, 30);
    if (row % 2 == 0) p.fillRect(R, QColor(241, 250, 255));
    if (row == 2) p.fillRect(R, QColor(81, 149, 206));
    p.setPen(QColor(211, 231, 255));
    p.drawLine(R.left() + int(RW * 0.32), Y, R.left() + int(RW * 0.32), Y + 30);
    p.drawLine(R.left() + int(RW * 0.85), Y, R.left() + int(RW * 0.85), Y + 30);
    p.setPen(Qt::black);
    if (row == 0) {
      p.fillRect(R, QColor(232, 246, 255));
      p.setFont(font("Liberation Sans", 10));
      p.drawText(R.left() + 60, Y + 20, text("volume_logical_drives"));
      p.drawText(R.left() + int(RW * 0.32) + 165, Y + 20, text("drive_size"));
      p.drawText(R.left() + int(RW * 0.85) + 15, Y + 20, text("partition_fs"));
      continue;
    }
    p.drawImage(R.left() + 20, Y + 5, load("partition_search/drives.png"));
    p.setFont(font("Liberation Sans", 8));
    p.drawText(R.left() + 45, Y + 20,
               row == 1   ? "Photos (D:)"
               : row == 2 ? "Local Disk (E:)"
                          : "USB (F:)");
    const int B = int(RW * 0.53) - 170, bx = R.left() + int(RW * 0.32) + 10;
    p.setPen(QColor(139, 184, 241));
    p.drawRect(bx, Y + 5, B, 20);
    const double free_share = row == 1 ? 0.6 : row == 2 ? 0.1 : 0.35;
    const QImage texture =
        load(free_share > 0.2 ? "partition_search/green.png" : "partition_search/red.png");
    p.setBrushOrigin(0, Y + 6);
    p.fillRect(QRect(bx + 1, Y + 6, int((1 - free_share) * B - 2), texture.height() + 1),
               QBrush(texture));
    p.setPen(Qt::black);
    p.drawText(R.left() + int(RW * 0.85) + 20, Y + 20, row == 3 ? "FAT32" : "NTFS");
  }
  // Tree and table pieces.
  const QImage folder = load("recovery/folder.png");
  const QImage minus = load("recovery/toggle.png"), plus = load("recovery/toggle_plus.png");
  p.setFont(font("Liberation Sans", 9));
  const char* nodes[] = {"Root", "Pictures", "Documents"};
  for (int i = 0; i < 3; ++i) {
    const int x = 30 + (i ? 16 : 0), y = 265 + i * 22;
    p.drawImage(x, y + 2, i == 1 ? plus : minus);
    p.drawImage(x + 16, y, folder);
    p.drawText(x + 38, y + 12, nodes[i]);
  }
  p.fillRect(QRect(200, 262, 570, 24), QBrush(load("recovery/jianbian.png")));
  p.drawImage(210, 267, load("partition_search/check2.png"));
  p.drawImage(210, 297, load("partition_search/check1.png"));
  p.drawImage(235, 294, load("partition_search/check2.png"));
  p.drawText(260, 278, text("recovery_name"));
  for (int i = 1; i <= 5; ++i)
    p.drawImage(180 + i * 70, 290, load(QString("partition_search/icon_found%1.png").arg(i)));
  p.end();
  save_png(image, out);
}

}  // namespace

void draw_previews(const QString& resource_root, const QString& pieces, const QString& folder) {
  const loader_c load(resource_root);
  for (const char* lang : {"en", "de", "jp"})
    home_preview(load, resource_root, folder + QString("/preview_home_%1.png").arg(lang), lang);
  parts_preview(load, resource_root, QImage(pieces + "/ani_02.png"), folder + "/preview_parts.png");
}
