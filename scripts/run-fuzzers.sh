#!/usr/bin/env bash
# Runs every fuzz target for a number of seconds on its seed corpus and
# prints, per target, the executions and the findings.
# usage: run-fuzzers.sh BUILD_FOLDER SECONDS [TARGET...]
# Inputs are cut to FUZZ_MAX_LEN bytes (default 65536): the large catalogue
# files are replayed whole by ctest, and the fuzzers stay fast.
set -uo pipefail
build=${1:?build folder}
seconds=${2:?seconds}
shift 2
only=" $* "
max_len=${FUZZ_MAX_LEN:-65536}
src=$(cd "$(dirname "$0")/.." && pwd)
work="$build/fuzz-work"
mkdir -p "$work"
"$build/tests/fuzz/fuzz-seeds" "$work/seeds" || exit 1

status=0
printf '%-12s %14s %10s\n' target executions findings
for fuzzer in "$build"/tests/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  [ "$only" != "  " ] && [[ "$only" != *" $name "* ]] && continue
  corpus="$work/corpus/$name"
  artifacts="$work/artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  cp -n "$work/seeds/$name"/* "$corpus"/ 2>/dev/null
  [ -d "$src/tests/fuzz/regressions/$name" ] && cp -n "$src/tests/fuzz/regressions/$name"/* "$corpus"/
  dict=()
  [ -f "$src/tests/fuzz/$name.dict" ] && dict=(-dict="$src/tests/fuzz/$name.dict")
  log="$work/$name.log"
  "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 -max_len="$max_len" \
    -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  # Crashes, leaks, running out of memory or time are findings; inputs
  # that were merely slow (often only because the machine was busy) are
  # listed but do not fail the run.
  findings=$(find "$artifacts" -type f ! -name 'slow-unit-*' | wc -l)
  printf '%-12s %14s %10s\n' "$name" "${runs:-?}" "$findings"
  find "$artifacts" -type f -name 'slow-unit-*' | sed 's/^/  slow input: /'
  if [ "$findings" -gt 0 ]; then
    status=1
    find "$artifacts" -type f ! -name 'slow-unit-*' | sed 's/^/  finding: /'
    echo "  log: $log"
  fi
done
exit $status
