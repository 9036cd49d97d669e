#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds,
# one after another, each from its seed corpus (fuzz/corpus/<name>/) plus
# the inputs it found before (kept in the build folder, never in the tree).
# Prints executions per second per target; a finding stops the run with the
# input saved under <build>/fuzz-findings/ and a non-zero exit.
#   fuzz/run.sh BUILD SECONDS [TARGET...]
set -uo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do
    [ -f "$exe" ] && [ -x "$exe" ] && targets+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }

mkdir -p "$build/fuzz-findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export QT_QPA_PLATFORM=offscreen
summary=()
status=0
for t in "${targets[@]}"; do
  work="$build/fuzz-corpus/$t"
  mkdir -p "$work"
  log="$build/fuzz-findings/$t.log"
  echo "== fuzz_$t: $seconds s"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 -rss_limit_mb=2048 \
    -max_len=16384 -artifact_prefix="$build/fuzz-findings/$t-" "$work" "$here/corpus/$t" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ]; then
    status=1
    summary+=("$(printf '%-14s FINDING (exit %d), see %s' "$t" "$rc" "$log")")
    tail -40 "$log"
  else
    summary+=("$(printf '%-14s %10s runs %8s exec/s' "$t" "${runs:-?}" "${rate:-?}")")
  fi
done
echo "== fuzz summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
exit $status
