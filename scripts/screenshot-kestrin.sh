#!/usr/bin/env bash
# Takes a screenshot of the manager's dialog with three files listed, under
# wine on a virtual screen, and writes it as a PNG (default:
# docs/kestrin-dialog.png). Builds the Windows programs first if needed.
#   scripts/screenshot-kestrin.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-docs/kestrin-dialog.png}"
display=":95"
build="build/windows"
prefix="$PWD/$build/screenshot-prefix"

scripts/install-deps.sh
[ -f "$build/build.ninja" ] || cmake --preset windows >/dev/null
cmake --build "$build" --target Kestrin MURVEX >/dev/null

scripts/wine-session.sh start "$prefix" "$display"
trap 'scripts/wine-session.sh stop "$prefix" "$display"' EXIT
export WINEPREFIX="$prefix" LANG=ja_JP.UTF-8 WINEDEBUG=-all DISPLAY="$display"

# Three watched files, one with a Japanese name, and the list that names them
# (Shift-JIS, CR LF) in the manager's data folder.
drive_c="$prefix/drive_c"
mkdir -p "$drive_c/logs" "$drive_c/ProgramData/Fennwick/Kestrin"
python3 - "$drive_c" <<'PY'
import sys
drive_c = sys.argv[1]
names = ["app.log", "サーバー.log", "access.log"]
for name in names:
    with open(f"{drive_c}/logs/{name}", "w", encoding="cp932") as f:
        f.write("started\r\n")
with open(f"{drive_c}/ProgramData/Fennwick/Kestrin/Surveillance.txt", "wb") as f:
    for name in names:
        f.write(("C:\\logs\\" + name + "\r\n").encode("cp932"))
PY

cp "$build/Kestrin/Kestrin.exe" "$build/MURVEX/MURVEX.exe" "$drive_c/"
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
kill "$manager" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
echo "wrote $output"
