#!/usr/bin/env bash
# Builds everything and runs every test suite: natively under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the Windows programs under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --workflow --preset native-asan
cmake --workflow --preset windows
