#!/usr/bin/env bash
# Makes a demo disk image on which every road of the program finds something:
#   - a FAT32 file system (sector 2048, 100 MiB, label HOLIDAY) with photos and notes, some
#     of them deleted, and a whole deleted folder with a photo, a picture and a web page;
#   - an NTFS file system (sector 264192, 200 MiB, label Documents) whose files were written
#     and deleted through an ntfs-3g mount, a deleted folder among them;
#   - a partition without a file system (sector 675840, 16 MiB) holding photos, a picture,
#     text and a gzip file between random bytes, for the deep scan;
#   - unrelated random data between the FAT32 and the NTFS file system.
# The partition table lost the FAT32 and NTFS entries: sector 0 keeps only the entry of the
# partition without a file system (type 0xDA, "data"), so the partition search has two
# partitions to find and the repair keeps that entry beside them (FAT32 becomes partition 1,
# NTFS 2, the data partition 3). Writing to NTFS needs ntfs-3g to mount through FUSE; where
# it cannot, the NTFS file system is left without deleted files and a warning says so.
#   usage: tools/make_demo_image.sh IMAGE
set -euo pipefail
image=$(realpath -m "${1:?usage: make_demo_image.sh IMAGE}")
cd "$(dirname "$0")/.."
. bench/common.sh
export PATH="$PATH:/usr/sbin:/sbin" MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
mnt="$work/mnt"
ntfs_pid=
cleanup() {
  if [ -n "$ntfs_pid" ]; then
    umount "$mnt" 2>/dev/null || fusermount -u "$mnt" 2>/dev/null || true
    wait "$ntfs_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fat_start=2048 fat_sectors=204800
ntfs_start=264192 ntfs_sectors=409600
data_start=675840 data_sectors=32768
cylinder=$((255 * 63 * 512))
rm -f "$image"
truncate -s $((64 * cylinder)) "$image"

# The files, with dates from a summer trip and the months after it.
src="$work/src"
mkdir -p "$src"
camera_photos "$work/photos" 4 1024x768 >/dev/null
/usr/bin/convert -size 640x400 gradient:'#2a6fdb-#f7c948' -fill white -pointsize 36 \
  -gravity center -annotate 0 'Vantrel demo' "$src/poster.png"
printf 'Photos from the trip to the coast, July 2025.\n' >"$src/readme.txt"
printf 'Shopping list\n- sun cream\n- film for the old camera\n- bread, cheese, olives\n' >"$src/shopping.txt"
printf 'Dear Anna,\n\nthe week at the coast was wonderful. The photos are on the card;\nI will send the best ones once I am home.\n\nLove, Sam\n' >"$src/letter.txt"
printf '<!DOCTYPE html>\n<html><head><title>Trip</title></head>\n<body><h1>Our trip</h1><p>Day one: the beach.</p></body></html>\n' >"$src/trip.html"
printf 'month,amount\n2025-07,1200\n2025-08,950\n2025-09,1010\n' >"$src/budget.csv"
{ for k in $(seq 40); do echo "Meeting notes, week $k: the recovery tool finds deleted files again."; done; } >"$src/minutes.txt"
touch -d '2025-07-14 10:21:00' "$work"/photos/*.jpg "$src/poster.png"
touch -d '2025-07-20 18:05:00' "$src"/*.txt "$src/trip.html"
touch -d '2025-10-01 09:00:00' "$src/budget.csv" "$src/minutes.txt"

# FAT32. Windows writes MSWIN4.1 or MSDOS5.0 as the OEM name. A deleted entry keeps its
# short name but for the first character, which FAT overwrites, so the deleted files get
# short lower-case names (kept as such, without a long name).
fat="$work/fat32"
truncate -s $((fat_sectors * 512)) "$fat"
mkfs.fat -F 32 -S 512 -s 1 -n HOLIDAY "$fat" >/dev/null
printf 'MSWIN4.1' | dd of="$fat" bs=1 seek=3 conv=notrunc status=none
mmd -i "$fat" ::/Photos ::/Notes ::/trip2025
mcopy -m -i "$fat" "$src/readme.txt" ::/README.TXT
mcopy -m -i "$fat" "$work/photos/photo1.jpg" ::/Photos/sunset.jpg
mcopy -m -i "$fat" "$work/photos/photo2.jpg" ::/Photos/harbour.jpg
mcopy -m -i "$fat" "$work/photos/photo3.jpg" ::/Photos/oldtown.jpg
mcopy -m -i "$fat" "$src/shopping.txt" ::/Notes/shopping.txt
mcopy -m -i "$fat" "$src/letter.txt" ::/Notes/letter.txt
mcopy -m -i "$fat" "$src/poster.png" ::/trip2025/poster.png
mcopy -m -i "$fat" "$src/trip.html" ::/trip2025/trip.htm
mcopy -m -i "$fat" "$work/photos/photo4.jpg" ::/trip2025/tower.jpg
# Deleted: two photos, both notes and the whole trip2025 folder; harbour.jpg stays.
mdel -i "$fat" ::/Photos/sunset.jpg ::/Photos/oldtown.jpg ::/Notes/shopping.txt ::/Notes/letter.txt
mdeltree -i "$fat" ::/trip2025
dd if="$fat" of="$image" bs=512 seek=$fat_start conv=notrunc,sparse status=none

# Some unrelated data after it, as a disk that was used holds.
head -c $((8 * 1024 * 1024)) /dev/urandom |
  dd of="$image" bs=512 seek=$((fat_start + fat_sectors + 4096)) conv=notrunc status=none

# NTFS, written and emptied through ntfs-3g kept in the foreground, so that the end of its
# process tells that everything is written back.
ntfs="$work/ntfs"
truncate -s $((ntfs_sectors * 512)) "$ntfs"
mkntfs -F -Q -q -s 512 -p $ntfs_start -H 255 -S 63 -L Documents "$ntfs" 2>/dev/null
mkdir -p "$mnt"
ntfs-3g -o no_detach "$ntfs" "$mnt" 2>"$work/ntfs-3g.log" &
ntfs_pid=$!
for _ in $(seq 100); do
  mountpoint -q "$mnt" && break
  kill -0 "$ntfs_pid" 2>/dev/null || break
  sleep 0.1
done
if mountpoint -q "$mnt"; then
  mkdir -p "$mnt/Reports" "$mnt/Old drafts"
  cp -p "$src/budget.csv" "$mnt/Reports/budget 2025.csv"
  cp -p "$src/minutes.txt" "$mnt/Reports/minutes.txt"
  cp -p "$src/letter.txt" "$mnt/Reports/letter to Anna.txt"
  cp -p "$work/photos/photo2.jpg" "$mnt/Reports/Harbour.jpg"
  cp -p "$src/poster.png" "$mnt/Old drafts/poster draft.png"
  cp -p "$src/shopping.txt" "$mnt/Old drafts/shopping list.txt"
  cp -p "$src/readme.txt" "$mnt/readme.txt"
  sync
  rm "$mnt/Reports/minutes.txt" "$mnt/Reports/Harbour.jpg"
  rm -r "$mnt/Old drafts"
  umount "$mnt" 2>/dev/null || fusermount -u "$mnt"
  wait "$ntfs_pid"
else
  wait "$ntfs_pid" 2>/dev/null || true
  echo "make_demo_image: ntfs-3g could not mount the NTFS file system (it needs FUSE):" \
    "the NTFS volume holds no deleted files. $(head -c 300 "$work/ntfs-3g.log")" >&2
fi
ntfs_pid=
dd if="$ntfs" of="$image" bs=512 seek=$ntfs_start conv=notrunc,sparse status=none

# The data partition: random bytes with files at sector boundaries, each followed by zeros
# to its sector's end and a few random sectors.
data="$work/data"
head -c $((data_sectors * 512)) /dev/urandom >"$data"
gzip -9 -n -c "$src/minutes.txt" >"$src/minutes.txt.gz"
sector=64
for f in "$work/photos/photo1.jpg" "$src/poster.png" "$src/letter.txt" "$work/photos/photo3.jpg" \
  "$src/trip.html" "$src/minutes.txt.gz" "$src/budget.csv"; do
  size=$(stat -c %s "$f")
  dd if="$f" of="$data" bs=512 seek=$sector conv=notrunc status=none
  pad=$(((512 - size % 512) % 512))
  head -c "$pad" /dev/zero | dd of="$data" bs=1 seek=$((sector * 512 + size)) conv=notrunc status=none
  sector=$((sector + (size + 511) / 512 + 16))
done
dd if="$data" of="$image" bs=512 seek=$data_start conv=notrunc status=none

# The partition table: only the data partition's entry is left, in the first slot.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
dd if=/dev/zero of="$image" bs=512 count=1 conv=notrunc status=none
{
  printf '\x00\xfe\xff\xff\xda\xfe\xff\xff'  # not active, CHS beyond 1024 cylinders, type 0xDA
  le32 $data_start
  le32 $data_sectors
} | dd of="$image" bs=1 seek=446 conv=notrunc status=none
printf '\x55\xaa' | dd of="$image" bs=1 seek=510 conv=notrunc status=none
echo "demo image: $image ($(du -h --apparent-size "$image" | cut -f1); the FAT32 and NTFS partitions' entries wiped)"
