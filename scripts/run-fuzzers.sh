#!/usr/bin/env bash
# Runs every fuzz target for a number of seconds on its seed corpus and
# prints, per target, the executions, their rate and the findings.
# usage: run-fuzzers.sh BUILD_FOLDER SECONDS [TARGET...]
# Inputs are cut to FUZZ_MAX_LEN bytes when it is set, otherwise to the
# target's own length (target_max_len below). FUZZ_WORKERS (default 1)
# fuzzing processes run per target at once; the rate is their sum.
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
seconds=${2:?seconds}
shift 2
only=" $* "
workers=${FUZZ_WORKERS:-1}
src=$(cd "$(dirname "$0")/.." && pwd)
work="$build/fuzz-work"
mkdir -p "$work"
"$build/tests/fuzz/fuzz-seeds" "$work/seeds" || exit 1

# A config.txt is a few KB, and the catalogue's large ones are replayed
# whole by ctest; the other files can be large, yet the fuzzers stay fast
# below 64 KB.
target_max_len() {
  case $1 in
    config) echo 8192 ;;
    *) echo 65536 ;;
  esac
}

status=0
printf '%-12s %14s %10s %10s\n' target executions 'exec/s' findings
for fuzzer in "$build"/tests/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  [ "$only" != "  " ] && [[ "$only" != *" $name "* ]] && continue
  corpus="$work/corpus/$name"
  artifacts="$work/artifacts/$name/"
  logs="$work/logs/$name"
  mkdir -p "$corpus" "$artifacts" "$logs"
  rm -f "$logs"/*.log
  cp -n "$work/seeds/$name"/* "$corpus"/ 2>/dev/null
  [ -d "$src/tests/fuzz/regressions/$name" ] && cp -n "$src/tests/fuzz/regressions/$name"/* "$corpus"/
  dict=()
  [ -f "$src/tests/fuzz/$name.dict" ] && dict=(-dict="$src/tests/fuzz/$name.dict")
  parallel=()
  [ "$workers" -gt 1 ] && parallel=(-jobs="$workers" -workers="$workers")
  # With several workers libFuzzer writes fuzz-N.log into the folder it
  # runs in; with one, the output goes there under the same name.
  (cd "$logs" && "$fuzzer" "${dict[@]}" "${parallel[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -rss_limit_mb=2048 -max_len="${FUZZ_MAX_LEN:-$(target_max_len "$name")}" \
    -artifact_prefix="$artifacts" "$corpus" >"$logs/main.log" 2>&1)
  [ "$workers" -gt 1 ] || mv "$logs/main.log" "$logs/fuzz-0.log"
  runs=0 rate=0
  for log in "$logs"/fuzz-*.log; do
    n=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    r=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    runs=$((runs + ${n:-0})) rate=$((rate + ${r:-0}))
  done
  # Crashes, leaks, running out of memory or time are findings; inputs
  # that were merely slow (often only because the machine was busy) are
  # listed but do not fail the run.
  findings=$(find "$artifacts" -type f ! -name 'slow-unit-*' | wc -l)
  printf '%-12s %14s %10s %10s\n' "$name" "$runs" "$rate" "$findings"
  find "$artifacts" -type f -name 'slow-unit-*' | sed 's/^/  slow input: /'
  if [ "$findings" -gt 0 ]; then
    status=1
    find "$artifacts" -type f ! -name 'slow-unit-*' | sed 's/^/  finding: /'
    echo "  logs: $logs"
  fi
done
exit $status
