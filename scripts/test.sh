#!/usr/bin/env bash
# Builds everything and runs every test suite: natively under AddressSanitizer
# and UndefinedBehaviorSanitizer, the fuzz targets briefly (every seed
# replayed, then 10 seconds each), and the Windows programs under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --workflow --preset native-asan
cmake --workflow --preset fuzz
scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
cmake --workflow --preset windows
