#!/usr/bin/env bash
# Partition search benchmark. Builds two images and prints ratios measured in the same run,
# so that a noisy machine still gives stable figures:
#   dense:  a 4.5 GiB image of real data (system files) with partitions between, some past
#           4 GiB. The time dd takes to read the image (`dd if=IMAGE of=/dev/null bs=128K`)
#           over the time our search takes to search it: our throughput as a share of
#           dd's, page cache warm for both.
#   photos: a 2 GiB image of camera-style photos (large JPEGs with Exif thumbnails) with
#           partitions between, measured as the dense one.
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


photos="$dir/photos.img"
photos_bytes=$((261 * cylinder))  # 2.1 GB
if [ ! -f "$photos" ] || [ "$(stat -c %s "$photos")" -ne "$photos_bytes" ]; then
  echo "making $photos (camera-style photos, partitions between)..." >&2
  mapfile -t shots < <(camera_photos "$dir/photos" 6)
  per_pass=$(cat "${shots[@]}" | wc -c)
  { for _ in $(seq $((photos_bytes / per_pass + 1))); do cat "${shots[@]}"; done; } | head -c "$photos_bytes" >"$photos.part" || true
  truncate -s "$photos_bytes" "$photos.part"
  put_fat32 "$photos.part" 64 2048
  put_ntfs "$photos.part" 96 1500000
  put_fat32 "$photos.part" 64 3000000
  put_ntfs "$photos.part" 64 4000000
  mv "$photos.part" "$photos"
fi

# Our search's throughput (the image searched / its time) against dd's (the image read / its
# time) on image $2 of $3 bytes, page cache warm for both; prints lines labelled $1.
throughput_vs_dd() {
  local label=$1 image=$2 bytes=$3 ours=() dds=() read_bytes found t_ours t_dd ours_mbs dd_mbs
  echo "warming the page cache..." >&2
  cat "$image" >/dev/null
  for _ in $(seq "$runs"); do
    ours+=("$(timed "$cli" search "$image" --json)")
    dds+=("$(timed dd if="$image" of=/dev/null bs=128K)")
  done
  "$cli" search "$image" --json >"$dir/$label.json" 2>/dev/null
  read_bytes=$(grep -o '"bytes_read": [0-9]*' "$dir/$label.json" | grep -o '[0-9]*$')
  found=$(grep -c '"file_system"' "$dir/$label.json")
  t_ours=$(printf '%s\n' "${ours[@]}" | median)
  t_dd=$(printf '%s\n' "${dds[@]}" | median)
  ours_mbs=$(calc "$bytes / $t_ours / 1000000")
  dd_mbs=$(calc "$bytes / $t_dd / 1000000")
  printf '%-6s %d MB image, %d partitions found, %d MB read\n' "$label" $((bytes / 1000000)) "$found" $((read_bytes / 1000000))
  printf '%-6s search %.0f MB/s (median %.3f s), dd bs=128K %.0f MB/s (median %.3f s)\n' "$label" "$ours_mbs" "$t_ours" "$dd_mbs" "$t_dd"
  printf '%-6s throughput ratio search/dd: %.2f\n' "$label" "$(calc "$ours_mbs / $dd_mbs")"
}

throughput_vs_dd dense "$dense" "$dense_bytes"
throughput_vs_dd photos "$photos" "$photos_bytes"

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
