#!/usr/bin/env bash
# Sets up, builds, and opens the window on a demo disk image with a wiped partition table.
# Without a display, it runs the command-line demo instead: the image's lost partitions are
# searched and written back, and a deleted photo is recovered.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
mkdir -p build/demo
export VANTREL_IMAGES_ONLY=1

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  bash tools/build.sh --target vantrel
  bash tools/make_demo_image.sh build/demo/lost-partitions.img
  echo "Starting the window on build/demo/lost-partitions.img (its settings file lands in build/demo)"
  cd build/demo
  exec ../app/vantrel lost-partitions.img
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the command-line demo instead."
bash tools/build.sh --target vantrel-cli
bash tools/make_demo_image.sh build/demo/lost-partitions.img
cli=build/cli/vantrel-cli
image=build/demo/lost-partitions.img
run() { echo; echo "\$ vantrel-cli $*"; "$cli" "$@"; }

# Find the lost partitions and write them back into the master boot record.
run search "$image"
(cd build/demo && "../../$cli" repair lost-partitions.img --yes)
# Now the partitions are volumes again: find the deleted photo and bring it back.
run volumes "$image"
run scan "$image@p1" 2>/dev/null
run recover "$image@p1" --out build/demo/recovered 2>/dev/null
