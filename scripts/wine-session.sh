#!/bin/sh
# wine-session.sh start|stop PREFIX DISPLAY
# Start: a virtual display (Xvfb, 1920x1080) and a wine prefix made with code
# page 932, with its wineserver kept running for the tests that follow.
# Stop: ends that wineserver and that display.
set -eu
action="$1" prefix="$2" display="$3"
export WINEPREFIX="$prefix" LANG=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
number="${display#:}"
pidfile="$prefix.xvfb.pid"

case "$action" in
start)
  if [ ! -e "/tmp/.X11-unix/X$number" ]; then
    Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! > "$pidfile"
    i=0
    while [ ! -e "/tmp/.X11-unix/X$number" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
  fi
  export DISPLAY="$display"
  mkdir -p "$prefix"
  # The server and the services wineboot starts must not hold ctest's output
  # pipes open, so they are started here, detached from them, and kept alive
  # for the tests that follow.
  wineserver -p 900 </dev/null >/dev/null 2>&1 || true
  wineboot -i </dev/null >/dev/null 2>&1 || true
  ;;
stop)
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
  ;;
esac
