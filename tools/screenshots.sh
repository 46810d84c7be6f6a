#!/usr/bin/env bash
# Starts the window on the demo disk image under a virtual X server and writes one picture
# per page into OUTDIR: home.png, drive.png, partition.png, volume.png, recovery.png, and
# deep.png. The drive and partition pages show the demo image as it is (its table lost); the
# volume and recovery pages a copy of it repaired by the command line, whose FAT volume is
# scanned (for deep.png by a deep scan).
#   usage: tools/screenshots.sh OUTDIR
set -euo pipefail
out=${1:?usage: screenshots.sh OUTDIR}
cd "$(dirname "$0")/.."
repo=$PWD
mkdir -p "$out"
out=$(cd "$out" && pwd)
bash tools/setup.sh >/dev/null
if ! build_log=$(bash tools/build.sh --target vantrel vantrel-cli vantrel-screenshots 2>&1); then
  echo "$build_log" >&2
  echo "screenshots: build failed" >&2
  exit 1
fi
image=$repo/build/demo/lost-partitions.img
if [ ! -f "$image" ]; then
  mkdir -p build/demo
  bash tools/make_demo_image.sh "$image"
fi
# A folder of its own, so that the run's settings file lands nowhere else.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp --sparse=always "$image" repaired.img
if ! repair_log=$("$repo/build/cli/vantrel-cli" repair "$work/repaired.img" --yes 2>&1); then
  echo "$repair_log" >&2
  echo "screenshots: the repair of the copy failed" >&2
  exit 1
fi
VANTREL_IMAGES_ONLY=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x960x24" \
  "$repo/build/app/vantrel-screenshots" "$out" "$image" "$work/repaired.img"
echo "screenshots: $(ls "$out"/{home,drive,partition,volume,recovery,deep}.png | tr '\n' ' ')"
