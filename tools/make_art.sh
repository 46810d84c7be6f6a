#!/usr/bin/env bash
# Redraws every image of resources/images with the generator in tools/make_art (Qt on the
# offscreen platform), assembles the scan animation and the program icon with ImageMagick,
# rewrites resources/images.qrc, and makes a contact sheet in build/art/contact_sheet.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh >/dev/null
bash tools/build.sh --target make_art
work=build/art
rm -rf "$work" resources/images
mkdir -p "$work/pieces"
QT_QPA_PLATFORM=offscreen build/tools/make_art/make_art resources "$work/pieces"
convert -delay 8 -loop 0 -dispose background "$work"/pieces/ani_*.png resources/images/recovery/ani.gif
convert "$work"/pieces/icon_*.png resources/images/top.ico
# Contact sheet: every image but the other languages' copies of the localized buttons.
(
  cd resources/images
  mapfile -t shown < <(find . -type f \( -name '*.png' -o -name '*.gif' \) ! -path './multilang/*' |
    sed 's|^\./||' | sort; ls multilang/en/*.png multilang/de/btn_top*.png multilang/jp/*.png)
  montage -background '#7f93ad' -fill white -pointsize 10 -label '%d/%f\n%wx%h' \
    "${shown[@]/%/[0]}" -tile 10x -geometry '200x120>+6+6' "../../$work/contact_sheet.png"
)
echo "make_art.sh: $(grep -c '<file>' resources/images.qrc) images; contact sheet $work/contact_sheet.png"
