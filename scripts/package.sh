#!/usr/bin/env bash
# Builds the release packages, installing the tools they need first:
#   scripts/package.sh            both
#   scripts/package.sh windows    build/windows-release/Kestrin-<version>-win64.zip
#   scripts/package.sh linux      build/linux-release/murvex_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

which="${1:-both}"
case "$which" in
both) presets=(windows-release linux-release) ;;
windows) presets=(windows-release) ;;
linux) presets=(linux-release) ;;
*)
  echo "usage: scripts/package.sh [windows|linux]" >&2
  exit 2
  ;;
esac

scripts/install-deps.sh package
mkdir -p build
for preset in "${presets[@]}"; do
  cmake --workflow --preset "$preset" >"build/$preset.log" 2>&1 || {
    cat "build/$preset.log" >&2
    exit 1
  }
  grep -o 'package: .* generated' "build/$preset.log" | sed 's/^package: //; s/ generated$//'
done
