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

ours=(); fls_t=()
for _ in $(seq "$runs"); do
  ours+=("$(timed "$cli" scan "$image@p0" --json)")
  fls_t+=("$(timed fls -r -d -o 0 "$image")")
done
"$cli" scan "$image@p0" --json 2>/dev/null >"$dir/fat-scan.json"
found=$(grep -c '"name"' "$dir/fat-scan.json")
listed=$(fls -r -d -o 0 "$image" | wc -l)
t_ours=$(printf '%s\n' "${ours[@]}" | median)
t_fls=$(printf '%s\n' "${fls_t[@]}" | median)
printf 'fat32  %d deleted files shown by our scan, %d deleted entries listed by fls\n' "$found" "$listed"
printf 'fat32  scan median %.3f s, fls -r -d median %.3f s\n' "$t_ours" "$t_fls"
printf 'fat32  time ratio scan/fls: %.2f\n' "$(calc "$t_ours / $t_fls")"
