#!/usr/bin/env bash
# FAT scan benchmark: a FAT32 image with more than 100,000 directory entries in nested
# folders, about half of the files deleted and some whole folders deleted. Prints our scan's
# time (vantrel-cli scan, the whole process) as a ratio of The Sleuth Kit's
# `fls -r -d -o OFFSET IMAGE` (deleted entries, recursively) on the same image, both
# measured in the same run, alternating.
# Usage: bench/fat_scan.sh [RUNS]   (BENCH_DIR sets where the image goes, default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${1:-5}
bench_setup
export MTOOLS_SKIP_CHECK=1
image="$dir/fat32-many.img"

if [ ! -f "$image" ]; then
  echo "making $image (100,000 files in 220 folders, then deleting about half)..." >&2
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  for d in $(seq -w 1 20); do
    for s in $(seq -w 1 10); do
      mkdir -p "$tree/D$d/S$s"
      (cd "$tree/D$d/S$s" && for f in $(seq -w 1 250); do printf 'a' >"A$f.TXT"; printf 'b' >"B$f.TXT"; done)
    done
  done
  rm -f "$image.part"
  truncate -s 256M "$image.part"
  mkfs.fat -F 32 -s 1 -n MANY "$image.part" >/dev/null
  mcopy -s -i "$image.part" "$tree"/D* ::/
  # Delete the A files of every folder, and three whole folders.
  dels=()
  for d in $(seq -w 1 20); do for s in $(seq -w 1 10); do dels+=("::/D$d/S$s/A*"); done; done
  mdel -i "$image.part" "${dels[@]}"
  mdeltree -i "$image.part" ::/D01/S01 ::/D07/S05 ::/D13/S10
  mv "$image.part" "$image"
fi

scan_vs_fls "$image" "$runs" fat32
found=$(grep -c '"name"' "$dir/fat32-scan.json")
listed=$(fls -r -d -o 0 "$image" | wc -l)
printf 'fat32  %d deleted files shown by our scan, %d deleted entries listed by fls\n' "$found" "$listed"
