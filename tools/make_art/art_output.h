#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Where the generator writes: PNGs straight into the resource folder, the pieces that
// ImageMagick assembles (animation frames, icon sizes) into a work folder, and the list of
// every resource path for images.qrc.
class art_output_c {
 public:
  art_output_c(QString resource_root, QString work_root);

  // Writes `image` as resources/<path> (path relative to the resource root, e.g.
  // "images/system/so.png") and lists it.
  void png(const QString& path, const QImage& image);
  // Writes a piece for the assembly step as <work>/<name>.
  void piece(const QString& name, const QImage& image);
  // Lists a resource that the assembly step makes from the pieces.
  void assembled(const QString& path);

  // Writes <resource root>/images.qrc listing every resource, sorted.
  void write_qrc() const;
  const QStringList& files() const { return files_; }

 private:
  QString resource_root_, work_root_;
  QStringList files_;
};

// The image sets, each in its own file.
void draw_frame_art(art_output_c& out);   // window and dialog frames, system buttons, logo, icon
void draw_button_art(art_output_c& out);  // mode, home, page and dialog buttons, top icons
void draw_page_art(art_output_c& out);    // bands, cards, bars, list icons, animations

// Pictures of the art put together as the window shows it, written into `folder` for a look
// before the art is committed (they are not resources).
void draw_previews(const QString& resource_root, const QString& pieces, const QString& folder);
