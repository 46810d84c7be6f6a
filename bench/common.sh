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
