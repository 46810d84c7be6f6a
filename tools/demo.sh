#!/usr/bin/env bash
# Sets up, builds, and searches a demo disk image with a wiped partition table for its
# lost partitions.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh --target vantrel-cli
mkdir -p build/demo
bash tools/make_demo_image.sh build/demo/lost-partitions.img
export VANTREL_IMAGES_ONLY=1
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
