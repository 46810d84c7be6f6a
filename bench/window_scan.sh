#!/usr/bin/env bash
# Window benchmark: a FAT32 image with 100,000 deleted files (90,000 in 200 folders of 450,
# and 10,000 in one folder), whose folders stay. Prints the recovery page's time from the
# scan's start to a filled tree and table (the folder with the most files clicked, the whole
# window painted, on Qt's offscreen platform: vantrel-window-bench, timed inside the
# process) as a ratio of `vantrel-cli scan` of the same volume (the whole process, its
# listing written to /dev/null), medians of RUNS alternating runs; then the window
# process's peak resident memory at that point, beside the command line's.
# Usage: bench/window_scan.sh [RUNS]   (default 3; BENCH_DIR sets where the image goes,
#        default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${1:-3}
bench_setup
bench=build/app/vantrel-window-bench
[ -x "$bench" ] || bash tools/build.sh --target vantrel-window-bench
export MTOOLS_SKIP_CHECK=1 QT_QPA_PLATFORM=offscreen
image="$dir/fat32-deleted-100k.img"

if [ ! -f "$image" ]; then
  echo "making $image (100,000 files in 201 folders, then deleting every file)..." >&2
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  for d in $(seq -w 1 20); do
    for s in $(seq -w 1 10); do
      mkdir -p "$tree/D$d/S$s"
      (cd "$tree/D$d/S$s" && for f in $(seq -w 1 450); do printf 'a' >"F$f.TXT"; done)
    done
  done
  mkdir -p "$tree/BIG"
  (cd "$tree/BIG" && for f in $(seq -w 1 10000); do printf 'b' >"B$f.TXT"; done)
  rm -f "$image.part"
  truncate -s 256M "$image.part"
  mkfs.fat -F 32 -s 1 -n DELETED "$image.part" >/dev/null
  mcopy -s -i "$image.part" "$tree"/D* "$tree/BIG" ::/
  dels=(::/BIG/*)
  for d in $(seq -w 1 20); do for s in $(seq -w 1 10); do dels+=("::/D$d/S$s/*"); done; done
  mdel -i "$image.part" "${dels[@]}"
  mv "$image.part" "$image"
  rm -rf "$tree"
fi

# The window program keeps its settings file and lock in a folder of its own.
run_dir=$(mktemp -d)
trap 'rm -rf "$run_dir"' EXIT
export XDG_RUNTIME_DIR=$run_dir
bench=$PWD/$bench
window_once() { (cd "$run_dir" && "$bench" "$image@p0" "$image" 2>/dev/null); }
window_t=() cli_t=()
for _ in $(seq "$runs"); do
  out=$(window_once)
  window_t+=("$(awk '$1 == "window_seconds" {print $2}' <<<"$out")")
  cli_t+=("$(timed "$cli" scan "$image@p0")")
done
t_window=$(printf '%s\n' "${window_t[@]}" | median)
t_cli=$(printf '%s\n' "${cli_t[@]}" | median)
/usr/bin/time -f '%M' -o "$run_dir/cli-rss" "$cli" scan "$image@p0" >/dev/null 2>&1
cli_rss=$(tail -1 "$run_dir/cli-rss")
shown() { awk -v k="$1" '$1 == k {print $2}' <<<"$out"; }
printf 'window  Start to filled tree and table median %.3f s, vantrel-cli scan median %.3f s\n' "$t_window" "$t_cli"
printf 'window  time ratio window/scan: %.2f (goal: at most 1.5)\n' "$(calc "$t_window / $t_cli")"
printf 'window  peak RSS %d MiB (vantrel-cli scan: %d MiB)\n' "$(($(shown peak_rss_kib) / 1024))" "$((cli_rss / 1024))"
printf 'window  status area: %d found; %d folders in the tree, %d rows in the table\n' \
  "$(shown found)" "$(shown folders)" "$(shown rows)"
