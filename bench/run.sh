#!/usr/bin/env bash
# The console monitor's performance table: builds the native release, writes
# the deterministic logs (10 thousand to 10 million lines, about 94 bytes
# each; the largest is about 940 MB) and measures every figure next to its
# reference on the same cached file. Takes a few minutes.
#
#   bench/run.sh            RUNS=7 by default (medians); BENCH_DATA=dir for the logs
#   WINE_PEAK=1 bench/run.sh   also the Windows release's peak memory under wine
#   WINE_BUSY=1 bench/run.sh   also its share of a core under the busy writer
#   GRID_ONLY=1 bench/run.sh   only the rows beside tail -n 0 -F: twelve monitors
#                              on copies of the 1M-line log, 10 lines a second
#                              each for 20 s; single appends to and edits in
#                              place of the 10M- and 100k-line logs; with the
#                              passes and the peak memory
#   BUSY_ONLY=1 bench/run.sh   only the busy-writer rows (a writer that keeps
#                              the log open, 10 lines a second for 15 s, on
#                              100k, 1M and 10M lines, each beside wc -l)
#   MURVEX=<binary> bench/run.sh   measures another build of murvex
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/native-release
data=${BENCH_DATA:-build/bench-data}
runs=${RUNS:-7}

cmake --preset native-release >/dev/null
cmake --build "$build" -j2 --target murvex make_log pass_bench >/dev/null

if [[ "${WINE_PEAK:-0}" == 1 || "${WINE_BUSY:-0}" == 1 ]]; then
  cmake --preset windows-release >/dev/null
  cmake --build build/windows-release -j2 --target MURVEX >/dev/null
  export MURVEX_EXE=build/windows-release/MURVEX/MURVEX.exe
fi

mkdir -p "$data"
for lines in 10000 100000 1000000 10000000; do
  log="$data/log-$lines.log"
  # The last line carries the counter: a complete log ends with it.
  if [[ "$(tail -c 14 "$log" 2>/dev/null)" != "$(printf ' n=%010d\n' "$lines")" ]]; then
    echo "writing $log" >&2
    "$build/bench/make_log" "$lines" "$log"
  fi
done
# The lines that follow the 10M-line log, appended (and cut off again) by
# the append figures.
rm -f "$data/append-1000.log.new"
"$build/bench/make_log" 1000 "$data/append-1000.log.new" 10000001
mv "$data/append-1000.log.new" "$data/append-1000.log"

echo "$(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), \
$(free -g | awk '/^Mem:/ {print $2}') GiB RAM, $(uname -sr)"
python3 bench/measure.py "$build" "$data" "$runs"
