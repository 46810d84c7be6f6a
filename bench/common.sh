# Shared pieces of the benchmarks: timing, medians, arithmetic. Sourced, not run.
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
# Runs "$@" with its output thrown away and prints its wall time in seconds.
timed() { local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now); calc "$t1 - $t0"; }

# Builds the command-line program when it is missing, hides the machine's disks, and makes
# the folder for the images: sets $cli and $dir (BENCH_DIR, default build/bench).
bench_setup() {
  cli=build/cli/vantrel-cli
  [ -x "$cli" ] || bash tools/build.sh --target vantrel-cli
  export PATH="$PATH:/usr/sbin:/sbin" VANTREL_IMAGES_ONLY=1
  dir=${BENCH_DIR:-build/bench}
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
}

# Times our scan of $1 (a whole-image volume) against `fls -r -d -o 0` over $2 runs,
# alternating, and prints the medians and their ratio with the label $3. Leaves our JSON
# in $dir/$3-scan.json for the caller's counts.
scan_vs_fls() {
  local image=$1 runs=$2 label=$3 ours=() fls_t=() t_ours t_fls
  for _ in $(seq "$runs"); do
    ours+=("$(timed "$cli" scan "$image@p0" --json)")
    fls_t+=("$(timed fls -r -d -o 0 "$image")")
  done
  "$cli" scan "$image@p0" --json 2>/dev/null >"$dir/$label-scan.json"
  t_ours=$(printf '%s\n' "${ours[@]}" | median)
  t_fls=$(printf '%s\n' "${fls_t[@]}" | median)
  printf '%-6s scan median %.3f s, fls -r -d median %.3f s\n' "$label" "$t_ours" "$t_fls"
  printf '%-6s time ratio scan/fls: %.2f\n' "$label" "$(calc "$t_ours / $t_fls")"
}

# Makes $2 camera-style photos in folder $1 (kept between runs): JPEGs of noisy scenes at
# quality 92, $3 pixels (default 4000x3000, about 5 MB each), with an Exif block and a
# thumbnail as cameras write them. Prints their paths.
camera_photos() {
  local out=$1 n=$2 size=${3:-4000x3000} k
  mkdir -p "$out"
  for k in $(seq "$n"); do
    if [ ! -s "$out/photo$k.jpg" ]; then
      /usr/bin/convert -seed "$k" -size "$size" plasma:fractal -attenuate 0.4 +noise Gaussian \
        -sampling-factor 2x1 -quality 92 "$out/tmp.jpg"
      /usr/bin/convert "$out/tmp.jpg" -thumbnail 160x120 "$out/thumb.jpg"
      exiftool -q -overwrite_original -Make=Vantrel -Model=Bench "-ThumbnailImage<=$out/thumb.jpg" "$out/tmp.jpg"
      mv "$out/tmp.jpg" "$out/photo$k.jpg"
    fi
    echo "$out/photo$k.jpg"
  done
  rm -f "$out/thumb.jpg"
}
