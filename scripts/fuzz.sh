#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a time.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   run each target SECONDS (default 60), two at a time
#   scripts/fuzz.sh --replay [TARGET...]     run every seed of fuzz/corpus/ once, then stop
#   scripts/fuzz.sh --merge [TARGET...]      fold what the runs found into fuzz/corpus/, minimised
#
# Targets are the names under fuzz/corpus/ (line_reader, watch_list, ...).
# Runs grow a scratch corpus in build/fuzz/corpus/<target>, never the seeds;
# crashes land in fuzz/artifacts/ and each run's last lines in
# build/fuzz/logs/<target>.log (executions in "stat::number_of_executed_units").
set -euo pipefail
cd "$(dirname "$0")/.."

mode=run
seconds=60
case "${1:-}" in
  --replay) mode=replay; shift ;;
  --merge) mode=merge; shift ;;
  ''|*[!0-9]*) ;;
  *) seconds=$1; shift ;;
esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 >/dev/null
mkdir -p fuzz/artifacts build/fuzz/logs

fuzzer() { echo "build/fuzz/fuzz/fuzz_$1"; }

case $mode in
  replay)
    for t in "${targets[@]}"; do
      "$(fuzzer "$t")" -runs=0 "fuzz/corpus/$t" 2>&1 | tail -n 1
    done
    ;;
  merge)
    for t in "${targets[@]}"; do
      [ -d "build/fuzz/corpus/$t" ] || continue
      "$(fuzzer "$t")" -merge=1 "fuzz/corpus/$t" "build/fuzz/corpus/$t" 2>&1 | tail -n 1
    done
    ;;
  run)
    run_one() {
      local t=$1 result=0
      mkdir -p "build/fuzz/corpus/$t"
      nice -n 19 "$(fuzzer "$t")" "build/fuzz/corpus/$t" "fuzz/corpus/$t" \
        -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="fuzz/artifacts/$t-" >"build/fuzz/logs/$t.log" 2>&1 || result=$?
      local executions
      executions=$(grep -o 'number_of_executed_units: *[0-9]*' "build/fuzz/logs/$t.log" | grep -o '[0-9]*$' || echo "?")
      if [ $result -eq 0 ]; then
        echo "$t: ${seconds}s, $executions executions, nothing found"
      else
        echo "$t: FAILED after $executions executions (see build/fuzz/logs/$t.log, fuzz/artifacts/)"
      fi
      return $result
    }
    failed=0
    running=0
    for t in "${targets[@]}"; do
      if [ $running -ge 2 ]; then
        wait -n || failed=1
        running=$((running - 1))
      fi
      run_one "$t" &
      running=$((running + 1))
    done
    while [ $running -gt 0 ]; do
      wait -n || failed=1
      running=$((running - 1))
    done
    exit $failed
    ;;
esac
