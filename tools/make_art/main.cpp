// Draws every image of the program's resources: make_art RESOURCE_DIR WORK_DIR.
// PNGs go to RESOURCE_DIR/images/..., the animation frames and icon sizes that
// tools/make_art.sh assembles with ImageMagick go to WORK_DIR, and RESOURCE_DIR/images.qrc
// lists them all.
#include "tools/make_art/art_output.h"

#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: make_art RESOURCE_DIR WORK_DIR\n");
    return 2;
  }
  try {
    art_output_c out(args[1], args[2]);
    draw_frame_art(out);
    draw_button_art(out);
    draw_page_art(out);
    out.write_qrc();
    draw_previews(args[1], args[2], args[2] + "/..");
    std::printf("make_art: %lld resources\n", static_cast<long long>(out.files().size()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_art: %s\n", e.what());
    return 1;
  }
  return 0;
}
