#!/usr/bin/env bash
# NTFS scan benchmark: an NTFS image with more than 50,000 MFT records in nested folders,
# a part of them deleted. Prints our scan's time (vantrel-cli scan, the whole process: the
# library's startup to its last record, with the engine's table building) as a ratio of
# The Sleuth Kit's `fls -r -d -o 0 IMAGE` on the same image, measured in the same run,
# alternating. Building the image needs root (an ntfs-3g mount).
# Usage: bench/ntfs_scan.sh [RUNS]   (BENCH_DIR sets where the image goes, default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${1:-5}
bench_setup
image="$dir/ntfs-many.img"

if [ ! -f "$image" ]; then
  echo "making $image (52,000 files in 104 folders through ntfs-3g, then deleting a third)..." >&2
  mnt=$(mktemp -d)
  rm -f "$image.part"
  truncate -s 512M "$image.part"
  mkntfs -F -Q -q "$image.part" 2>/dev/null
  ntfs-3g "$image.part" "$mnt"
  content=(x xx xxx xxxx xxxxx xxxxxx xxxxxxx)
  for d in $(seq -w 1 8); do
    for s in $(seq -w 1 13); do
      mkdir -p "$mnt/d$d/s$s"
      (cd "$mnt/d$d/s$s" && for f in $(seq -w 1 500); do printf '%s' "${content[$((10#$f % 7))]}" >"file$f.txt"; done)
    done
  done
  for d in $(seq -w 1 8); do for s in $(seq -w 1 13); do rm -f "$mnt/d$d/s$s"/file*[036].txt; done; done
  rm -rf "$mnt/d02/s05" "$mnt/d06/s11"
  umount "$mnt"
  while pgrep -f "ntfs-3g $image.part" >/dev/null; do sleep 0.2; done
  rmdir "$mnt"
  mv "$image.part" "$image"
fi

scan_vs_fls "$image" "$runs" ntfs
read_count=$(grep -o '"read_count": [0-9]*' "$dir/ntfs-scan.json" | grep -o '[0-9]*$')
found=$(grep -c '"name"' "$dir/ntfs-scan.json")
listed=$(fls -r -d -o 0 "$image" | wc -l)
printf 'ntfs   %d MFT records read, %d deleted files shown; fls lists %d deleted entries\n' "$read_count" "$found" "$listed"
