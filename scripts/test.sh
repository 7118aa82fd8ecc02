#!/usr/bin/env bash
# Builds everything and runs every test suite: natively under AddressSanitizer
# and UndefinedBehaviorSanitizer, the fuzz targets briefly (every seed
# replayed, then 10 seconds each), the release packages built and checked,
# and the Windows programs under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --workflow --preset native-asan
cmake --workflow --preset fuzz
scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
scripts/package.sh
scripts/check-packages.sh
cmake --workflow --preset windows
