#!/usr/bin/env bash
# Takes two screenshots under wine on a virtual screen and writes them as
# PNGs: the manager's dialog with four files listed (default:
# docs/kestrin-dialog.png), then the whole desktop once the manager has
# started their four monitors and arranged them, and a line appended to one
# file shows highlighted (default: docs/kestrin-grid.png). Builds the Windows
# programs first if needed. SCREENSHOT_DISPLAY picks the X display (:95).
#   scripts/screenshot-kestrin.sh [dialog.png [grid.png]]
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-docs/kestrin-dialog.png}"
grid_output="${2:-docs/kestrin-grid.png}"
display="${SCREENSHOT_DISPLAY:-:95}"
build="build/windows"
prefix="$PWD/$build/screenshot-prefix"

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake --preset windows >/dev/null
cmake --build "$build" --target Kestrin MURVEX kestrin_driver >/dev/null

scripts/wine-session.sh start "$prefix" "$display"
trap 'scripts/wine-session.sh stop "$prefix" "$display"' EXIT
export WINEPREFIX="$prefix" LANG=ja_JP.UTF-8 WINEDEBUG=-all DISPLAY="$display"

# Four watched files with a few lines each, one with a Japanese name, and the
# list that names them (Shift-JIS, CR LF) in the manager's data folder.
drive_c="$prefix/drive_c"
mkdir -p "$drive_c/logs" "$drive_c/ProgramData/Fennwick/Kestrin"
python3 - "$drive_c" <<'PY'
import sys
drive_c = sys.argv[1]
names = ["app.log", "サーバー.log", "access.log", "batch.log"]
lines = {
    "app.log": [f"2026-12-09 10:00:{s:02d} INFO  request {s + 1} served in {17 + s * 7 % 40} ms" for s in range(12)],
    "サーバー.log": ["2026-12-09 10:00:00 起動しました", "2026-12-09 10:00:01 設定を読み込みました",
                    "2026-12-09 10:00:02 ポート 8080 で待ち受けています", "2026-12-09 10:00:05 接続: 192.0.2.10",
                    "2026-12-09 10:00:09 接続: 192.0.2.24", "2026-12-09 10:00:12 切断: 192.0.2.10"],
    "access.log": [f'192.0.2.{10 + s} - - [09/Dec/2026:10:00:{s:02d}] "GET /items/{s} HTTP/1.1" 200 {512 + s * 64}'
                   for s in range(9)],
    "batch.log": ["job 1 started", "job 1 read 1,204 records", "job 1 wrote 1,204 records", "job 1 finished"],
}
for name in names:
    with open(f"{drive_c}/logs/{name}", "w", encoding="cp932", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines[name]))
with open(f"{drive_c}/ProgramData/Fennwick/Kestrin/Surveillance.txt", "wb") as f:
    for name in names:
        f.write(("C:\\logs\\" + name + "\r\n").encode("cp932"))
PY

cp "$build/Kestrin/Kestrin.exe" "$build/MURVEX/MURVEX.exe" "$build/Kestrin/kestrin_driver.exe" "$drive_c/"
wine 'C:\Kestrin.exe' >/dev/null 2>&1 &
manager=$!
# Wait until the dialog has been drawn.
for _ in $(seq 1 100); do
  if xwininfo -root -tree -display "$display" 2>/dev/null | grep -q 'リアルタイムファイル監視'; then break; fi
  sleep 0.2
done
sleep 2
mkdir -p "$(dirname "$output")"
import -window root -display "$display" png:- | convert png:- -trim +repage "$output"
echo "wrote $output"

# Start (button 1) opens the four monitors; Arrange (1009) moves them into
# the grid's top row; a line appended to one shows highlighted.
wine 'C:\kestrin_driver.exe' click 1 >/dev/null 2>&1
for _ in $(seq 1 100); do
  [ "$(xwininfo -root -tree -display "$display" 2>/dev/null | grep -c '"\(app\|access\|batch\)\.log"\|"サーバー\.log"')" -ge 4 ] && break
  sleep 0.2
done
sleep 2
wine 'C:\kestrin_driver.exe' click 1009 >/dev/null 2>&1
python3 - "$drive_c" <<'PY'
import sys
with open(f"{sys.argv[1]}/logs/app.log", "a", encoding="cp932", newline="") as f:
    f.write("2026-12-09 10:00:12 ERROR request 13 failed: 接続がタイムアウトしました\r\n")
PY
sleep 3
mkdir -p "$(dirname "$grid_output")"
import -window root -display "$display" png:- | convert png:- "$grid_output"
wine 'C:\kestrin_driver.exe' click 1005 >/dev/null 2>&1 || true
kill "$manager" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
echo "wrote $grid_output"
