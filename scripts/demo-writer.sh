#!/usr/bin/env bash
# Keeps changing a demo log so the monitor has something to show: appends
# lines, edits one in place, and now and then truncates the file.
set -u
log="$1"
printf '2026-12-09 10:00:00 INFO  demo log started\n' > "$log"
n=1
while true; do
  for _ in 1 2 3 4 5 6; do
    sleep 2
    n=$((n + 1))
    printf '%s INFO  request %d served in %d ms\n' "$(date '+%F %T')" "$n" $((RANDOM % 90 + 5)) >> "$log"
  done
  sleep 2
  # A line rewritten in place: the monitor shows just that line again.
  sed -i '2s/INFO /WARN /' "$log"
  if [ $((n % 24)) -lt 7 ]; then
    sleep 3
    printf '%s INFO  log rotated\n' "$(date '+%F %T')" > "$log"
  fi
done
