#!/usr/bin/env bash
# Builds the console monitor natively and starts it in this terminal.
#   scripts/run.sh            watch a demo log that a writer keeps changing
#   scripts/run.sh FILE       watch FILE
# Ctrl+C ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake --preset native -DMURVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build/native --target murvex >/dev/null

if [ $# -ge 1 ]; then
  exec build/native/MURVEX/murvex "$1"
fi

demo_dir="$(mktemp -d)"
log="$demo_dir/demo.log"
scripts/demo-writer.sh "$log" &
writer=$!
trap 'kill $writer 2>/dev/null; rm -rf "$demo_dir"' EXIT INT TERM
while [ ! -s "$log" ]; do sleep 0.1; done
build/native/MURVEX/murvex "$log"
