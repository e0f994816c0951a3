#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: install, build, run every test.
#   the portable code's tests under AddressSanitizer and UBSan, a bounded fuzzing run, then the
#   Windows tests under Wine with a virtual display (unit tests and the end-to-end tests; one of
#   them under Debian 13's Wine 10, in a chroot made here).
# The g++ tree (scripts/build.sh native) only adds the benchmarks, so it is not built here.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}
fuzz_seconds=${FUZZ_SECONDS:-50}
phase() { echo "== $1 (at ${SECONDS}s)"; }

# Before the long work: on a fresh machine only clang-format is installed for it.
phase format
scripts/setup.sh --format
scripts/check_format.sh
phase setup
scripts/setup.sh
phase build
scripts/build.sh asan win
# Debian 13's Wine 10 in a chroot (cached in the build tree): the Windows tests run a WinHTTP
# client under it, as only that Wine keeps the per-connection proxy WinHTTP reads.
phase "Wine 10 chroot"
scripts/wine10.sh setup

phase "sanitizer tests"
ctest --test-dir "$root/asan" --output-on-failure -j 2
phase "fuzzing (${fuzz_seconds}s)"
scripts/fuzz.sh "$root/asan" "$fuzz_seconds"

phase "Windows tests under Wine"
source scripts/wine.sh
trap wine_stop EXIT
wine_start "$PWD/$root/win/wineprefix"
ctest --test-dir "$root/win" --output-on-failure -j 2 --timeout 600
phase done
