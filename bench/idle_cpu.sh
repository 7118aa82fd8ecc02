#!/usr/bin/env bash
# CPU time of idle console monitors: for each count (1 and 12 by default),
# that many `murvex` processes watch one small file that nobody changes, for
# SECONDS (60 by default). Prints per set the CPU time of all its monitors
# together: user + system from /proc/<pid>/stat (10 ms clock ticks) and the
# time on a CPU from /proc/<pid>/schedstat (ns), both taken after the first
# listing and again at the end.
#
#   bench/idle_cpu.sh [seconds] [count...]   MURVEX=<binary> for another build
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(1 12)

murvex=${MURVEX:-}
if [[ -z "$murvex" ]]; then
  cmake --preset native-release >/dev/null
  cmake --build build/native-release -j2 --target murvex >/dev/null
  murvex=build/native-release/MURVEX/murvex
fi

folder=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT
for i in $(seq 1 20); do printf '2026-12-09 12:00:%02d INFO idle line %d\n' "$i" "$i"; done >"$folder/app.log"

# Sum over the given pids of "<ticks> <ns>" (every thread's time on a CPU).
cpu_of() {
  local ticks=0 ns=0 pid task
  for pid in "$@"; do
    # After the command name: utime and stime are the 12th and 13th fields.
    ticks=$((ticks + $(sed 's/^.*) //' "/proc/$pid/stat" | awk '{print $12 + $13}')))
    for task in /proc/"$pid"/task/*/schedstat; do ns=$((ns + $(cut -d' ' -f1 "$task"))); done
  done
  echo "$ticks $ns"
}

echo "$(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
for count in "${counts[@]}"; do
  pids=()
  for _ in $(seq 1 "$count"); do
    "$murvex" "$folder/app.log" >/dev/null 2>&1 &
    pids+=($!)
  done
  sleep 2  # past the first listing
  read -r ticks0 ns0 < <(cpu_of "${pids[@]}")
  sleep "$seconds"
  read -r ticks1 ns1 < <(cpu_of "${pids[@]}")
  echo "$count idle monitor(s), ${seconds} s: user+system $(((ticks1 - ticks0) * 10)) ms," \
    "on CPU $(awk -v ns=$((ns1 - ns0)) 'BEGIN {printf "%.1f", ns / 1e6}') ms" \
    "($(awk -v ns=$((ns1 - ns0)) -v n="$count" -v s="$seconds" 'BEGIN {printf "%.4f", ns / 1e9 / s / n * 100}') % of one core each)"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
done
