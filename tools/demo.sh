#!/usr/bin/env bash
# Sets up, builds, and opens the window on a demo disk image whose FAT32 and NTFS partitions
# lost their table entries (tools/make_demo_image.sh). Without a display, it runs the
# command-line demo instead: the lost partitions are searched and written back, then the
# deleted files of the FAT32 and NTFS volumes and the files that the deep scan finds on the
# partition without a file system are recovered into build/demo/recovered.
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

# The table holds one partition only, without a file system. Find the lost partitions and
# write them back into the master boot record beside it.
run volumes "$image"
run search "$image"
(cd build/demo && "../../$cli" repair lost-partitions.img --yes)
# Now the partitions are volumes again: find the deleted files and bring them back.
run volumes "$image"
rm -rf build/demo/recovered
run scan "$image@p1" 2>/dev/null
run recover "$image@p1" --out build/demo/recovered/fat32 2>/dev/null
run scan "$image@p2" 2>/dev/null
run recover "$image@p2" --out build/demo/recovered/ntfs 2>/dev/null
# The partition without a file system: the deep scan finds files by their content.
run scan "$image@p3" 2>/dev/null
run recover "$image@p3" --out build/demo/recovered/deep 2>/dev/null
