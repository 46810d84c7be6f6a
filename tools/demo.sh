#!/usr/bin/env bash
# Sets up, builds, and searches a demo disk image with a wiped partition table for its
# lost partitions.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh --target vantrel-cli
mkdir -p build/demo
bash tools/make_demo_image.sh build/demo/lost-partitions.img
echo
echo "\$ vantrel-cli search build/demo/lost-partitions.img"
VANTREL_IMAGES_ONLY=1 build/cli/vantrel-cli search build/demo/lost-partitions.img
