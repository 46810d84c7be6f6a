#!/usr/bin/env bash
# Deep scan benchmark. Builds once (cached in $dir) a 2 GiB image without a partition table
# holding several hundred real files of the kinds the deep scan knows (the machine's own
# PNG, GIF, JPEG, PDF, gzip, JAR/ZIP, TrueType, PE, ICO, MP3 and ELF files, plus generated
# gzip, bzip2, xz, ZIP, SQLite, WAV, BMP and PPM files, and camera-style photos: large
# high-quality JPEGs of noisy pictures with Exif tags and an Exif thumbnail, every third
# with a 1620x1080 preview behind it listed in a Multi-Picture Format index, about half of
# the files' bytes as in a photo collection), about three fifths of the image in all,
# each at a 4096-byte aligned offset, with random bytes (and some zero stretches) between
# them. deep-2g.manifest lists "offset size md5 ext" for every placed file; the image is
# made again when the recipe's version in deep-2g.recipe changes.
# Prints three figures, all measured in the same run with the page cache warm:
#   scan:    our deep scan's throughput (image bytes / time of `vantrel-cli scan --deep`) as a
#            ratio of `dd bs=1M` reading the image, medians of RUNS alternating runs;
#   recover: `vantrel-cli recover --deep` of everything, throughput as a ratio of PhotoRec's
#            (`photorec /cmd IMAGE partition_none,...,everything,enable,search`), both
#            writing under $dir, alternating, medians of up to 2 runs each; each program
#            starts with the files written before it on disk, and the figure is given
#            twice: up to the program's end (its files may still be in the page cache),
#            and up to the end of a `sync` after it (its files on disk);
#   exact:   how many placed files each program gave back byte for byte (its output files'
#            MD5s compared with the manifest), and the extensions of those ours missed.
# Usage: bench/deep_scan.sh [RUNS]   (default 3; BENCH_DIR sets where the image goes,
#        default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${1:-3}
bench_setup
image="$dir/deep-2g.img"
manifest="$dir/deep-2g.manifest"
recipe="$dir/deep-2g.recipe"
recipe_version=4
image_bytes=$((2 * 1024 * 1024 * 1024))

die() { echo "deep_scan.sh: $*" >&2; exit 1; }
for tool in file md5sum gzip bzip2 xz zip sqlite3 shuf convert exiftool; do
  command -v "$tool" >/dev/null || die "$tool is needed to build the image"
done

# Little-endian integers as raw bytes, for the generated WAV and BMP headers.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
be16() { printf "\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 & 255)))"; }

# Writes to $3 the photo $1 with a Multi-Picture Format index (APP2 "MPF\0", little-endian,
# right behind its Exif segment) that lists it and the JPEG $2, then $2 behind the photo's
# EOI: the large preview that cameras store in their photos.
mpf_join() {
  local photo=$1 preview=$2 out=$3 exif at photo_size preview_size
  [ "$(od -An -tx1 -N4 "$photo" | tr -d ' ')" = ffd8ffe1 ] || die "$photo does not start with its Exif segment"
  exif=$(od -An -tu1 -j4 -N2 "$photo" | awk '{print $1 * 256 + $2}')
  at=$((4 + exif))
  # FF E2, its length, "MPF\0", the MP header, an IFD of three entries and two MP entries.
  local segment=90 header=$((at + 8))
  photo_size=$(($(stat -c %s "$photo") + segment))
  preview_size=$(stat -c %s "$preview")
  { head -c "$at" "$photo"
    printf '\xff\xe2'; be16 $((segment - 2)); printf 'MPF\0II*\0'; le32 8
    le16 3
    le16 0xB000; le16 7; le32 4; printf '0100'        # MPFVersion
    le16 0xB001; le16 4; le32 1; le32 2               # NumberOfImages
    le16 0xB002; le16 7; le32 32; le32 50; le32 0     # MPEntry at 50 from the header; no next IFD
    le32 0x20030000; le32 "$photo_size"; le32 0; le32 0                          # the photo
    le32 0x00010001; le32 "$preview_size"; le32 $((photo_size - header)); le32 0  # its preview
    tail -c +$((at + 1)) "$photo"
    cat "$preview"
  } >"$out"
}

# Up to $1 paths from stdin (sorted), spread evenly over the list.
spread() { awk -v n="$1" '{a[NR]=$0} END {
  if (NR <= n) { for (i = 1; i <= NR; i++) print a[i]; exit }
  for (i = 0; i < n; i++) print a[int(i * NR / n) + 1] }'; }
# The paths from stdin whose `file --mime-type` matches the regular expression $1.
of_type() { xargs -r -d '\n' file --mime-type -F $'\t' 2>/dev/null | awk -F '\t' -v re="$1" '$2 ~ re {print $1}'; }
# "EXT<TAB>path" lines: up to $4 files under $1 named *.$2 (regex, any case) of mime type $3.
real() {
  find $1 -type f -size +4k -size -20M -regextype posix-extended -iregex ".*\\.($2)" 2>/dev/null \
    | LC_ALL=C sort | of_type "$3" | spread "$4" | sed "s|^|$5\t|" || true
}

make_image() {
  local src list work
  src="$dir/deep-src"
  rm -rf "$src"; mkdir -p "$src"
  work="$src/list"
  {
    real '/usr /opt' png 'image/png' 150 png
    real '/usr /opt' gif 'image/gif' 40 gif
    real '/usr /opt' 'jpg|jpeg' 'image/jpeg' 40 jpg
    real '/usr /opt' pdf 'application/pdf' 20 pdf
    real '/usr /opt' gz 'application/(x-)?gzip' 120 gz
    real '/usr /opt' jar 'application/(zip|java-archive|x-java-archive)' 100 jar
    real '/usr /opt' zip 'application/zip' 20 zip
    real '/usr /opt' 'ttf|otf' 'font/|application/(x-)?font' 40 ttf
    real '/usr /opt' 'exe|dll' 'application/(x-dosexec|vnd.microsoft.portable-executable)' 40 exe
    real '/usr /opt' ico 'image/(vnd.microsoft.icon|x-icon)' 20 ico
    real '/usr /opt' 'mp3|ogg|oga|flac|wav|tif|tiff|bmp' 'audio/|image/(tiff|bmp|x-ms-bmp)' 40 media
    find /usr/bin -type f -size +4k -size -20M 2>/dev/null | LC_ALL=C sort \
      | of_type 'application/x-(pie-)?executable' | spread 150 | sed 's|^|elf\t|'
    real /usr/lib 'so' 'application/x-sharedlib' 80 so
  } >"$work.real"
  # Media files found under their own extension keep it.
  awk -F '\t' 'BEGIN {OFS="\t"} $1 == "media" {n = split($2, p, "."); $1 = tolower(p[n]); if ($1 == "tif") $1 = "tiff"} {print}' \
    "$work.real" >"$work"

  # Generated files: compressible text from the system's Python sources mixed with random
  # bytes, so that the compressed files are of various sizes.
  find /usr/lib -name '*.py' -size +4k 2>/dev/null | LC_ALL=C sort | head -4000 \
    | xargs -r -d '\n' cat 2>/dev/null | head -c 64M >"$src/text" || true
  [ "$(stat -c %s "$src/text")" -gt 1000000 ] || die "not enough text found under /usr/lib to build the image"
  local i r t
  RANDOM=4242
  mixed() {  # $1 random bytes then $2 bytes of text from a place depending on $3
    head -c "$1" /dev/urandom
    tail -c +$(($3 * 797003 % 30000000 + 1)) "$src/text" | head -c "$2" || true
  }
  for i in $(seq 1 15); do
    r=$((RANDOM % 8 * 1048576 + RANDOM)); t=$((RANDOM % 24 * 1048576 + 4096))
    mixed "$r" "$t" "$i" | gzip -1 -c >"$src/g$i.gz"; printf 'gz\t%s\n' "$src/g$i.gz" >>"$work"
  done
  for i in $(seq 1 20); do
    r=$((RANDOM % 2 * 1048576 + RANDOM)); t=$((RANDOM % 8 * 1048576 + 4096))
    mixed "$r" "$t" "$((i + 100))" | bzip2 -1 -c >"$src/b$i.bz2"; printf 'bz2\t%s\n' "$src/b$i.bz2" >>"$work"
  done
  for i in $(seq 1 15); do
    r=$((RANDOM % 6 * 1048576 + RANDOM)); t=$((RANDOM % 12 * 1048576 + 4096))
    mixed "$r" "$t" "$((i + 200))" | xz -0 -T1 -c >"$src/x$i.xz"; printf 'xz\t%s\n' "$src/x$i.xz" >>"$work"
  done
  for i in $(seq 1 10); do
    r=$((RANDOM % 8 * 1048576 + RANDOM)); t=$((RANDOM % 16 * 1048576 + 4096))
    mixed "$r" 0 0 >"$src/z$i.bin"; mixed 0 "$t" "$((i + 300))" >"$src/z$i.txt"
    (cd "$src" && zip -q -1 "z$i.zip" "z$i.bin" "z$i.txt"); rm -f "$src/z$i.bin" "$src/z$i.txt"
    printf 'zip\t%s\n' "$src/z$i.zip" >>"$work"
  done
  for i in $(seq 1 10); do
    sqlite3 "$src/s$i.sqlite" "create table t(a integer primary key, b blob, c text);
      with recursive n(x) as (select 1 union all select x + 1 from n where x < $((RANDOM % 3000 + 200)))
      insert into t select x, randomblob(abs(random()) % 3000), hex(randomblob(40)) from n;"
    printf 'sqlite\t%s\n' "$src/s$i.sqlite" >>"$work"
  done
  for i in $(seq 1 15); do
    local data=$(((RANDOM % 16 * 1048576 + RANDOM * 4 + 65536) / 4 * 4))
    { printf 'RIFF'; le32 $((data + 36)); printf 'WAVEfmt '; le32 16; le16 1; le16 2
      le32 44100; le32 176400; le16 4; le16 16; printf 'data'; le32 "$data"
      head -c "$data" /dev/urandom; } >"$src/w$i.wav"
    printf 'wav\t%s\n' "$src/w$i.wav" >>"$work"
  done
  for i in $(seq 1 20); do
    local w=$((RANDOM % 8 * 128 + 256)) h=$((RANDOM % 1000 + 100))
    local px=$((w * 3 * h))
    { printf 'BM'; le32 $((px + 54)); le32 0; le32 54; le32 40; le32 "$w"; le32 "$h"; le16 1; le16 24
      le32 0; le32 "$px"; le32 2835; le32 2835; le32 0; le32 0; head -c "$px" /dev/urandom; } >"$src/m$i.bmp"
    printf 'bmp\t%s\n' "$src/m$i.bmp" >>"$work"
  done
  # Camera-style photos: a smooth picture (plasma) with sensor-like noise, cut at several
  # sizes, saved at high quality with 2x1 chroma subsampling; then Exif tags and a
  # 160x120 thumbnail inside the Exif segment, as a camera writes them, and no JFIF
  # segment. Their entropy data holds a stuffed FF 00 every few hundred bytes.
  convert -size 4000x3000 -seed 1 plasma:fractal -blur 0x2 "$src/plasma.ppm"
  for i in $(seq 1 115); do
    local size=$((i % 3 == 0 ? 3000 : 4000))x$((i % 3 == 0 ? 2000 : 3000))
    convert "$src/plasma.ppm" -crop "$size+$((RANDOM % 300))+$((RANDOM % 300))" +repage \
      -seed "$i" -attenuate 0.$((RANDOM % 4 + 4)) +noise Gaussian \
      -sampling-factor 2x1 -quality $((RANDOM % 6 + 90)) "$src/c$i.jpg"
    convert "$src/c$i.jpg" -thumbnail 160x120 -quality 80 "$src/t$i.jpg"
    exiftool -q -overwrite_original -JFIF:all= -Make=Vantrel -Model="Bench Camera $((i % 4))" \
      -DateTimeOriginal="$(printf '2024:05:%02d 12:%02d:00' $((i % 28 + 1)) $((i % 60)))" -ExposureTime=1/$((i * 10)) \
      "-ThumbnailImage<=$src/t$i.jpg" "$src/c$i.jpg" >/dev/null
    rm -f "$src/t$i.jpg"
    if [ $((i % 3)) -eq 1 ]; then
      convert "$src/c$i.jpg" -strip -resize 1620x1080 -quality 90 "$src/v$i.jpg"
      mpf_join "$src/c$i.jpg" "$src/v$i.jpg" "$src/m$i.jpg"
      mv "$src/m$i.jpg" "$src/c$i.jpg"; rm -f "$src/v$i.jpg"
    fi
    printf 'jpg\t%s\n' "$src/c$i.jpg" >>"$work"
  done
  rm -f "$src/plasma.ppm"
  for i in $(seq 1 10); do
    local w=$((RANDOM % 1500 + 200)) h=$((RANDOM % 1000 + 100))
    { printf 'P6\n%d %d\n255\n' "$w" "$h"; head -c $((w * h * 3)) /dev/urandom; } >"$src/p$i.ppm"
    printf 'ppm\t%s\n' "$src/p$i.ppm" >>"$work"
  done

  # One copy of each content (so that an MD5 names one placed file), in a fixed mixed order.
  local ext path size md5 n total
  : >"$work.sized"
  while IFS=$'\t' read -r ext path; do
    size=$(stat -c %s "$path") || continue
    md5=$(md5sum <"$path" | cut -c1-32) || continue
    printf '%s\t%s\t%s\t%s\n' "$md5" "$size" "$ext" "$path" >>"$work.sized"
  done <"$work"
  awk -F '\t' '!seen[$1]++' "$work.sized" | shuf --random-source=<(yes vantrel) >"$work.placed"
  n=$(wc -l <"$work.placed")
  total=$(awk -F '\t' '{s += int(($2 + 4095) / 4096) * 4096} END {print s}' "$work.placed")
  [ "$n" -ge 100 ] && [ "$total" -lt $((image_bytes * 17 / 20)) ] || die "unexpected file set: $n files, $total bytes"

  # Gaps of random bytes (every seventh of zeros), in 4096-byte blocks, spread so that the
  # files reach about nine tenths of the image before the random tail.
  local free_blocks=$(((image_bytes - total) / 4096)) gap pos=0 k=0 pad
  local avg=$((free_blocks * 9 / 10 / (n + 1)))
  rm -f "$image.part"; : >"$manifest.part"
  while IFS=$'\t' read -r md5 size ext path; do
    k=$((k + 1))
    gap=$(((RANDOM * 32768 + RANDOM) % (2 * avg + 1) * 4096))
    if [ $((k % 7)) -eq 0 ]; then head -c "$gap" /dev/zero; else head -c "$gap" /dev/urandom; fi
    pos=$((pos + gap))
    printf '%d %d %s %s\n' "$pos" "$size" "$md5" "$ext" >>"$manifest.part"
    cat "$path"
    pad=$(((4096 - size % 4096) % 4096))
    head -c "$pad" /dev/urandom
    pos=$((pos + size + pad))
  done <"$work.placed" >"$image.part"
  [ "$pos" -le "$image_bytes" ] || die "the files and gaps overran the image ($pos bytes)"
  head -c $((image_bytes - pos)) /dev/urandom >>"$image.part"
  [ "$(stat -c %s "$image.part")" -eq "$image_bytes" ] || die "the image came out at the wrong size"
  rm -rf "$src"
  mv "$manifest.part" "$manifest"
  mv "$image.part" "$image"
  echo "$recipe_version" >"$recipe"
}

if [ ! -f "$image" ] || [ ! -f "$manifest" ] || [ "$(stat -c %s "$image")" -ne "$image_bytes" ] ||
  [ "$(cat "$recipe" 2>/dev/null)" != "$recipe_version" ]; then
  echo "making $image (real and generated files between random bytes; takes a few minutes)..." >&2
  rm -f "$image" "$manifest" "$recipe"
  make_image
fi
placed=$(wc -l <"$manifest")
placed_bytes=$(awk '{s += $2} END {print s}' "$manifest")

# Wall seconds of "$@" (output thrown away), or a failure naming the command and its errors.
errs="$dir/deep-errors.txt"
timed_ok() {
  local t0 t1; t0=$(now)
  "$@" >/dev/null 2>"$errs" || { echo "deep_scan.sh: failed: $*" >&2; tail -5 "$errs" >&2; return 1; }
  t1=$(now); calc "$t1 - $t0"
}

echo "warming the page cache..." >&2
cat "$image" >/dev/null

# (1) Scan only, against dd.
"$cli" scan "$image@p0" --deep --json >"$dir/deep-scan.json" 2>"$errs" || die "the deep scan failed: $(tail -3 "$errs")"
listed=$(grep -c '"name"' "$dir/deep-scan.json" || true)
scan_t=(); dd_t=()
for _ in $(seq "$runs"); do
  scan_t+=("$(timed_ok "$cli" scan "$image@p0" --deep --json)") || die "the deep scan failed"
  dd_t+=("$(timed_ok dd if="$image" of=/dev/null bs=1M)") || die "dd failed"
done
t_scan=$(printf '%s\n' "${scan_t[@]}" | median)
t_dd=$(printf '%s\n' "${dd_t[@]}" | median)
scan_mbs=$(calc "$image_bytes / $t_scan / 1000000")
dd_mbs=$(calc "$image_bytes / $t_dd / 1000000")

# (2) Recovering everything, against PhotoRec; both write under $dir.
ours_out="$dir/deep-out-ours"; pr_out="$dir/deep-out-photorec"
prwork=$(mktemp -d "$dir/deep-photorec-cwd.XXXXXX")
trap 'rm -rf "$prwork"' EXIT
rec_runs=$((runs < 2 ? runs : 2))
ours_t=(); pr_t=(); ours_disk=(); pr_disk=()
# Seconds since $1 (a time from `now`) once the page cache's written files are on disk.
synced_since() { sync; calc "$(now) - $1"; }
for _ in $(seq "$rec_runs"); do
  # Each program starts once the files written before it are on disk (sync), so that
  # neither pays for writing back what the run before it left in the page cache.
  rm -rf "$ours_out"; mkdir -p "$ours_out"; sync
  t0=$(now)
  ours_t+=("$(timed_ok "$cli" recover "$image@p0" --out "$ours_out" --deep)") || die "our recover failed"
  ours_disk+=("$(synced_since "$t0")")
  rm -rf "$pr_out"; mkdir -p "$pr_out"; rm -f "$prwork/photorec.log"; sync
  t0=$(now)
  pr_t+=("$(cd "$prwork" && timed_ok photorec /log /d "$pr_out/recup" /cmd "$image" \
    partition_none,options,mode_ext2,fileopt,everything,enable,search)") || die "photorec failed"
  pr_disk+=("$(synced_since "$t0")")
  # PhotoRec exits with 0 even when it gives up (say, when it cannot write a file).
  if grep -q 'has been stopped' "$prwork/photorec.log" || ! ls -d "$pr_out"/recup.* >/dev/null 2>&1; then
    cp "$prwork/photorec.log" "$dir/deep-photorec.log"
    die "photorec stopped early or wrote nothing (see $dir/deep-photorec.log)"
  fi
done
t_ours=$(printf '%s\n' "${ours_t[@]}" | median)
t_pr=$(printf '%s\n' "${pr_t[@]}" | median)
ours_mbs=$(calc "$image_bytes / $t_ours / 1000000")
pr_mbs=$(calc "$image_bytes / $t_pr / 1000000")
t_ours_disk=$(printf '%s\n' "${ours_disk[@]}" | median)
t_pr_disk=$(printf '%s\n' "${pr_disk[@]}" | median)

# (3) Placed files given back byte for byte.
find "$ours_out" -type f -print0 | xargs -0 -r md5sum | cut -c1-32 | sort -u >"$dir/deep-ours.md5"
find "$pr_out" -type f -print0 | xargs -0 -r md5sum | cut -c1-32 | sort -u >"$dir/deep-photorec.md5"
ours_files=$(find "$ours_out" -type f | wc -l)
pr_files=$(find "$pr_out" -type f ! -name report.xml | wc -l)
exact() { awk 'NR == FNR {have[$1] = 1; next} ($3 in have) {n++} END {print n + 0}' "$1" "$manifest"; }
ours_exact=$(exact "$dir/deep-ours.md5")
pr_exact=$(exact "$dir/deep-photorec.md5")
missed=$(awk 'NR == FNR {have[$1] = 1; next} !($3 in have) {m[$4]++; t[$4]++; next} {t[$4]++}
  END {for (e in m) printf "%s %d/%d, ", e, m[e], t[e]}' "$dir/deep-ours.md5" "$manifest" | sed 's/, $//')

printf 'deep   %d MB image, %d files placed (%d MB), %d files listed by our scan\n' \
  $((image_bytes / 1000000)) "$placed" $((placed_bytes / 1000000)) "$listed"
printf 'deep   scan %.0f MB/s (median %.3f s) vs dd %.0f MB/s (median %.3f s) -> throughput ratio %.2f\n' \
  "$scan_mbs" "$t_scan" "$dd_mbs" "$t_dd" "$(calc "$scan_mbs / $dd_mbs")"
printf 'deep   recover %.0f MB/s (median %.3f s, %d files) vs photorec %.0f MB/s (median %.3f s, %d files) -> throughput ratio %.2f\n' \
  "$ours_mbs" "$t_ours" "$ours_files" "$pr_mbs" "$t_pr" "$pr_files" "$(calc "$ours_mbs / $pr_mbs")"
printf 'deep   recover with the files on disk (sync in the time): median %.3f s vs photorec %.3f s -> throughput ratio %.2f\n' \
  "$t_ours_disk" "$t_pr_disk" "$(calc "$t_pr_disk / $t_ours_disk")"
printf 'deep   exact: ours %d/%d (%.1f%%), photorec %d/%d (%.1f%%)\n' \
  "$ours_exact" "$placed" "$(calc "100 * $ours_exact / $placed")" "$pr_exact" "$placed" "$(calc "100 * $pr_exact / $placed")"
printf 'deep   not given back exactly by ours (ext missed/placed): %s\n' "${missed:-none}"
