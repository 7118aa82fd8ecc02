#!/usr/bin/env bash
# Takes a picture of the Linux monitor at work and writes it as a PNG
# (default: docs/murvex-terminal.png): murvex on a log in an xterm with the
# terminal's own light colours, on a virtual screen; lines are then
# appended and one is rewritten, and they show highlighted. Builds murvex
# first if needed. SCREENSHOT_DISPLAY picks the X display (:96).
#   scripts/screenshot-murvex.sh [picture.png]
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-docs/murvex-terminal.png}"
display="${SCREENSHOT_DISPLAY:-:96}"
build="build/native"

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake --preset native >/dev/null
cmake --build "$build" --target murvex >/dev/null
murvex="$PWD/$build/MURVEX/murvex"

work="$(mktemp -d)"
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "$terminal" "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
terminal=""
trap cleanup EXIT
for _ in $(seq 1 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

log="$work/app.log"
for s in $(seq 0 9); do
  printf '2026-12-09 10:00:%02d INFO  request %d served in %d ms\n' "$s" "$((s + 1))" "$((17 + s * 7 % 40))"
done >"$log"
printf '2026-12-09 10:00:10 INFO  キャッシュを再構築しました (1,204 件)\n' >>"$log"
printf '2026-12-09 10:00:11 WARN  disk /var at 81%%\n' >>"$log"

export DISPLAY="$display" LANG=C.UTF-8
xterm -geometry 92x22 -fa 'DejaVu Sans Mono' -fd 'IPAGothic' -fs 11 -bg '#fdfdf8' -fg '#202020' \
  -xrm 'XTerm*allowTitleOps: true' -e sh -c "cd '$work' && exec '$murvex' app.log" &
terminal=$!
# The window is found by the title murvex gives it: the file's name.
window=""
for _ in $(seq 1 100); do
  window="$(xwininfo -root -tree 2>/dev/null | awk '/"app.log"/ {print $1; exit}')"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "murvex did not set its title" >&2; exit 1; }
sleep 1
# A writer appends, then a line above is rewritten in place: both show
# highlighted under their own numbers.
printf '2026-12-09 10:00:12 ERROR request 11 failed: connection reset by peer\n' >>"$log"
printf '2026-12-09 10:00:12 INFO  request 12 served in 23 ms\n' >>"$log"
sleep 1.5
python3 - "$log" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    data = f.read()
    at = data.index(b"disk /var at 81%")
    f.seek(at)
    f.write(b"disk /var at 97%")
PY
sleep 1.5
mkdir -p "$(dirname "$output")"
import -window "$window" png:- | convert png:- "$output"
echo "wrote $output"
