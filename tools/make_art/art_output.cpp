#include "tools/make_art/art_output.h"

#include "tools/make_art/painting.h"

#include <QFile>
#include <QTextStream>

#include <stdexcept>

art_output_c::art_output_c(QString resource_root, QString work_root)
    : resource_root_(std::move(resource_root)), work_root_(std::move(work_root)) {}

void art_output_c::png(const QString& path, const QImage& image) {
  save_png(image, resource_root_ + "/" + path);
  files_ << path;
}

void art_output_c::piece(const QString& name, const QImage& image) {
  save_png(image, work_root_ + "/" + name);
}

void art_output_c::assembled(const QString& path) { files_ << path; }

void art_output_c::write_qrc() const {
  QStringList sorted = files_;
  sorted.sort();
  QFile file(resource_root_ + "/images.qrc");
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
    throw std::runtime_error("cannot write images.qrc");
  QTextStream text(&file);
  text << "<!DOCTYPE RCC>\n<!-- Made by tools/make_art.sh; edit the generator, not this list. -->\n"
       << "<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
  for (const QString& path : sorted) text << "  <file>" << path << "</file>\n";
  text << "</qresource>\n</RCC>\n";
}
