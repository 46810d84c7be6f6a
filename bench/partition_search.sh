#!/usr/bin/env bash
# Partition search benchmark. Builds two images and prints ratios measured in the same run,
# so that a noisy machine still gives stable figures:
#   dense:  a 4.5 GiB image of real data (system files) with partitions between, some past
#           4 GiB. Our throughput (bytes the search read / its time) as a ratio of
#           `dd if=IMAGE of=/dev/null bs=128K` on the same file, page cache warm for both.
#   sparse: an 8 GiB image that is mostly holes. Our search's time as a ratio of
#           `testdisk /log /cmd IMAGE analyze,search`.
# Usage: bench/partition_search.sh [RUNS]   (builds with tools/build.sh first if needed;
#        BENCH_DIR sets where the images go, default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${1:-5}
bench_setup
cylinder=$((255 * 63 * 512))

# A FAT32 file system of $2 MiB with a Windows OEM name, spliced in at sector $3 of image $1.
put_fat32() {
  local part="$dir/part.fat"
  rm -f "$part"; truncate -s "$2M" "$part"
  mkfs.fat -F 32 -S 512 -s 1 "$part" >/dev/null
  printf 'MSDOS5.0' | dd of="$part" bs=1 seek=3 conv=notrunc status=none
  dd if="$part" of="$1" bs=1M oflag=seek_bytes seek=$(($3 * 512)) conv=notrunc,sparse status=none
  rm -f "$part"
}
put_ntfs() {
  local part="$dir/part.ntfs"
  rm -f "$part"; truncate -s "$2M" "$part"
  mkntfs -F -Q -q -s 512 -p "$3" -H 255 -S 63 "$part" 2>/dev/null
  dd if="$part" of="$1" bs=1M oflag=seek_bytes seek=$(($3 * 512)) conv=notrunc,sparse status=none
  rm -f "$part"
}

dense="$dir/dense.img"
dense_bytes=$((560 * cylinder))  # 4.6 GB, whole cylinders
if [ ! -f "$dense" ] || [ "$(stat -c %s "$dense")" -ne "$dense_bytes" ]; then
  echo "making $dense (real data from /usr, partitions between)..." >&2
  # Real, varied data: the system's own files, repeated until the image is full (a bounded
  # number of passes, since the reading side cannot tell when head has had enough).
  { for _ in $(seq 40); do find /usr/lib /usr/share -type f -size +64k -print0 2>/dev/null | xargs -0 cat 2>/dev/null; done; } \
    | head -c "$dense_bytes" >"$dense.part" || true
  truncate -s "$dense_bytes" "$dense.part"
  put_fat32 "$dense.part" 64 2048
  put_ntfs "$dense.part" 96 3000000
  put_fat32 "$dense.part" 64 8400000     # past 4 GiB
  put_ntfs "$dense.part" 64 8800000
  mv "$dense.part" "$dense"
fi

sparse="$dir/sparse.img"
sparse_bytes=$((1045 * cylinder))  # 8.6 GB
if [ ! -f "$sparse" ] || [ "$(stat -c %s "$sparse")" -ne "$sparse_bytes" ]; then
  echo "making $sparse (holes, partitions)..." >&2
  rm -f "$sparse.part"; truncate -s "$sparse_bytes" "$sparse.part"
  put_fat32 "$sparse.part" 64 2048
  put_ntfs "$sparse.part" 64 4200000
  put_fat32 "$sparse.part" 64 9000000
  put_ntfs "$sparse.part" 64 16000000
  mv "$sparse.part" "$sparse"
fi


echo "warming the page cache..." >&2
cat "$dense" >/dev/null

ours_d=(); dd_d=()
for _ in $(seq "$runs"); do
  ours_d+=("$(timed "$cli" search "$dense" --json)")
  dd_d+=("$(timed dd if="$dense" of=/dev/null bs=128K)")
done
"$cli" search "$dense" --json >"$dir/dense.json" 2>/dev/null
read_bytes=$(grep -o '"bytes_read": [0-9]*' "$dir/dense.json" | grep -o '[0-9]*$')
found_d=$(grep -c '"file_system"' "$dir/dense.json")
t_ours=$(printf '%s\n' "${ours_d[@]}" | median)
t_dd=$(printf '%s\n' "${dd_d[@]}" | median)
ours_mbs=$(calc "$read_bytes / $t_ours / 1000000")
dd_mbs=$(calc "$dense_bytes / $t_dd / 1000000")
printf 'dense  %d MB image, %d partitions found, %d MB examined\n' $((dense_bytes / 1000000)) "$found_d" $((read_bytes / 1000000))
printf 'dense  search %.0f MB/s (median %.3f s), dd bs=128K %.0f MB/s (median %.3f s)\n' "$ours_mbs" "$t_ours" "$dd_mbs" "$t_dd"
printf 'dense  throughput ratio search/dd: %.2f\n' "$(calc "$ours_mbs / $dd_mbs")"

if command -v testdisk >/dev/null; then
  ours_s=(); td_s=()
  tdlog=$(mktemp -d)
  for _ in $(seq "$runs"); do
    ours_s+=("$(timed "$cli" search "$sparse" --json)")
    td_s+=("$(cd "$tdlog" && timed testdisk /log /cmd "$sparse" analyze,search)")
  done
  rm -rf "$tdlog"
  "$cli" search "$sparse" --json >"$dir/sparse.json" 2>/dev/null
  found_s=$(grep -c '"file_system"' "$dir/sparse.json")
  t_ours=$(printf '%s\n' "${ours_s[@]}" | median)
  t_td=$(printf '%s\n' "${td_s[@]}" | median)
  printf 'sparse %d MB image, %d partitions found\n' $((sparse_bytes / 1000000)) "$found_s"
  printf 'sparse search median %.3f s, testdisk analyze,search median %.3f s\n' "$t_ours" "$t_td"
  printf 'sparse time ratio search/testdisk: %.2f\n' "$(calc "$t_ours / $t_td")"
else
  echo "sparse: testdisk is not installed (tools/setup.sh installs it)"
fi
