#!/usr/bin/env bash
# Makes a demo disk image whose partition table was wiped: a FAT32 and an NTFS file system
# with some files on them, and data between them, but a zeroed sector 0. The partition
# search finds both again.
#   usage: tools/make_demo_image.sh IMAGE
set -euo pipefail
image=${1:?usage: make_demo_image.sh IMAGE}
export PATH="$PATH:/usr/sbin:/sbin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cylinder=$((255 * 63 * 512))
rm -f "$image"
truncate -s $((64 * cylinder)) "$image"

# FAT32 at sector 2048, 100 MiB. Windows writes MSWIN4.1 or MSDOS5.0 as the OEM name.
truncate -s 100M "$work/fat32"
mkfs.fat -F 32 -S 512 -s 1 -n HOLIDAY "$work/fat32" >/dev/null
printf 'MSWIN4.1' | dd of="$work/fat32" bs=1 seek=3 conv=notrunc status=none
printf 'Photos from the trip.\n' >"$work/readme.txt"
head -c 300000 /dev/urandom >"$work/beach.jpg"
export MTOOLS_SKIP_CHECK=1
mmd -i "$work/fat32" ::/PHOTOS
mcopy -i "$work/fat32" "$work/readme.txt" ::README.TXT
mcopy -i "$work/fat32" "$work/beach.jpg" ::/PHOTOS/BEACH.JPG
mdel -i "$work/fat32" ::/PHOTOS/BEACH.JPG  # deleted: the file scan brings it back
dd if="$work/fat32" of="$image" bs=512 seek=2048 conv=notrunc,sparse status=none

# Some unrelated data after it, as a disk that was used holds.
head -c $((8 * 1024 * 1024)) /dev/urandom | dd of="$image" bs=512 seek=$((2048 + 204800 + 4096)) conv=notrunc status=none

# NTFS at sector 264192, 200 MiB.
truncate -s 200M "$work/ntfs"
mkntfs -F -Q -q -s 512 -p 264192 -H 255 -S 63 -L Documents "$work/ntfs" 2>/dev/null
dd if="$work/ntfs" of="$image" bs=512 seek=264192 conv=notrunc,sparse status=none

# The lost partition table: sector 0 holds nothing.
dd if=/dev/zero of="$image" bs=512 count=1 conv=notrunc status=none
echo "demo image: $image ($(du -h --apparent-size "$image" | cut -f1), partition table wiped)"
