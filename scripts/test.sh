#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: install, build all trees, run every test.
#   native and sanitizer unit tests, a bounded fuzzing run, then the Windows tests under
#   Wine with a virtual display (unit tests, stand-in tests and the end-to-end tests).
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}
fuzz_seconds=${FUZZ_SECONDS:-60}

scripts/setup.sh
scripts/build.sh native asan win

echo "== native tests"
ctest --test-dir "$root/native" --output-on-failure -j 2
echo "== sanitizer tests"
ctest --test-dir "$root/asan" --output-on-failure -j 2
if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing (${fuzz_seconds}s)"
  scripts/fuzz.sh "$root/asan" "$fuzz_seconds"
fi

echo "== Windows tests under Wine"
source scripts/wine.sh
trap wine_stop EXIT
wine_start "$PWD/$root/win/wineprefix"
ctest --test-dir "$root/win" --output-on-failure -j 2 --timeout 600
