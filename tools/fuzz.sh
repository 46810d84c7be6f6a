#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time.
#
#   bash tools/fuzz.sh [SECONDS] [TARGET...]     default: 60 seconds each, every target
#
# Targets: partition_search partition_entries fat ntfs signatures scan_result language config.
#
# Seeds are generated from the test fixtures into build-fuzz/seeds; each target's corpus
# grows in build-fuzz/corpus/TARGET and is kept between runs. Executions are added up per
# target in build-fuzz/executions.tsv. A crash, leak, sanitizer report or an input that takes
# over 10 seconds is saved in build-fuzz/findings/ and makes the script fail; a fault, once
# fixed, keeps its input under tests/fuzz/regressions/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(partition_search partition_entries fat ntfs signatures scan_result language config)
fi

# The seed program links the test images, so it comes from the ordinary build. With
# FUZZ_NO_BUILD=1 the programs already built are run (for long runs beside other work).
if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  bash tools/setup.sh
  bash tools/build.sh
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVANTREL_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build build-fuzz
fi
if [ ! -f build-fuzz/seeds/.complete ]; then
  rm -rf build-fuzz/seeds
  build/tests/fuzz/vantrel-fuzz-seeds build-fuzz/seeds
  touch build-fuzz/seeds/.complete
fi

mkdir -p build-fuzz/findings build-fuzz/logs
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
# Readers that take a path get their input through a scratch file: on tmpfs when there is one.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
# Without TZ, glibc looks at /etc/localtime again on every local time conversion (a stat
# per FAT directory entry); naming the file lets it read the zone once.
export TZ="${TZ:-:/etc/localtime}"
failed=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/logs/$t.$$.log"
  echo "fuzz_$t: ${seconds} s"
  # Inputs no longer than the structures each reader looks at keep the executions fast.
  case "$t" in
    fat) max_len=409600 ;;
    ntfs | partition_search) max_len=131072 ;;
    signatures) max_len=65536 ;;
    *) max_len=4096 ;;
  esac
  # The configuration reader reports every line it skips on stderr: gigabytes over a long
  # run. Closing the target's stderr keeps libFuzzer's and the sanitizers' reports.
  quiet=()
  if [ "$t" = config ]; then quiet=(-close_fd_mask=2); fi
  status=0
  # A finding ends the run with an artefact in findings/; the seeds folder is read, never
  # written, as the corpus folder comes first.
  "build-fuzz/fuzz/fuzz_$t" "build-fuzz/corpus/$t" "build-fuzz/seeds/$t" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$root/build-fuzz/findings/$t-" "${quiet[@]}" > "$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  printf '%s\t%s\t%s\n' "$t" "${runs:-0}" "$(date -u +%FT%TZ)" >> build-fuzz/executions.tsv
  total=$(awk -F'\t' -v t="$t" '$1 == t { s += $2 } END { print s + 0 }' build-fuzz/executions.tsv)
  echo "  ${runs:-0} executions (${rate:-0}/s); ${total} in all on this machine"
  if [ "$status" -ne 0 ]; then
    echo "  FINDING: see $log and build-fuzz/findings/"
    grep -E "ERROR|runtime error|fuzz check failed|Test unit written" "$log" | head -n 8 | sed 's/^/  /'
    failed=1
  fi
done
exit "$failed"
