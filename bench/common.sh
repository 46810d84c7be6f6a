# Shared pieces of the benchmarks: timing, medians, arithmetic. Sourced, not run.
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
# Runs "$@" with its output thrown away and prints its wall time in seconds.
timed() { local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now); calc "$t1 - $t0"; }
