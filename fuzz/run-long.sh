#!/usr/bin/env bash
# Runs every fuzz target for MINUTES minutes, then merges what it found into
# the kept corpus fuzz/corpus/<target> (minimized: only inputs that add
# coverage).  Usage: fuzz/run-long.sh BUILD_DIR MINUTES [TARGET...]
# (every target when none is named).
set -euo pipefail
build=$1
minutes=$2
shift 2
src=$(cd "$(dirname "$0")" && pwd)
report=$build/fuzz-long.txt
: > "$report"
if [ $# -gt 0 ]; then targets=("${@/#/$build/fuzz/}"); else targets=("$build"/fuzz/fuzz_*); fi
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  work=$build/fuzz/long_$name
  kept=$src/corpus/$name
  mkdir -p "$work" "$kept"
  inputs=("$kept")
  [ -d "$src/seeds/$name" ] && inputs+=("$src/seeds/$name")
  echo "== $name: $minutes min"
  "$t" -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
       -print_final_stats=1 "$work" "${inputs[@]}" 2> "$work.log" || {
    echo "$name FOUND A FAILURE, see $work.log" | tee -a "$report"; continue; }
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$' || echo 0)
  "$t" -merge=1 -rss_limit_mb=2048 -timeout=10 -max_len=65536 "$kept" "$work" 2>> "$work.log" >/dev/null
  printf '%-24s %12s executions, %5s inputs kept\n' "$name" "$execs" "$(ls "$kept" | wc -l)" | tee -a "$report"
done
echo "Report: $report"
