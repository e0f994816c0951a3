#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: install, build, run every test.
#   the product built by a second compiler (Clang for the Windows target), the portable code's
#   tests under AddressSanitizer and UBSan, a bounded fuzzing run, the Windows tests under Wine
#   with a virtual display (unit tests and the end-to-end tests; one of them under Debian 13's
#   Wine 10, in a chroot made here), and the release built twice, from two clones of HEAD in
#   different folders, compared byte for byte.
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
phase "clang for the Windows target"
scripts/build.sh clang-win

phase "sanitizer tests"
ctest --test-dir "$root/asan" --output-on-failure -j 2
phase "fuzzing (${fuzz_seconds}s)"
scripts/fuzz.sh "$root/asan" "$fuzz_seconds"

phase "Windows tests under Wine"
source scripts/wine.sh
trap wine_stop EXIT
wine_start "$PWD/$root/win/wineprefix"
ctest --test-dir "$root/win" --output-on-failure -j 2 --timeout 600
wine_stop

phase "release, built twice"
# Two clones of the commit, in folders of different names and depths: their zips must not differ
# in a single byte.
check=$PWD/$root/release-check
rm -rf "$check"
zips=()
for clone in "$check/first/orvanta" "$check/second/checkout/elsewhere"; do
  git clone -q . "$clone"
  git -C "$clone" checkout -q --detach "$(git rev-parse HEAD)"
  (cd "$clone" && BUILD_ROOT=build scripts/release.sh "$clone/release")
  zips+=("$(ls "$clone"/release/orvanta-*-windows-x64.zip)")
done
cmp "${zips[@]}"
echo "release: both builds give $(basename "${zips[0]}"), SHA-256 $(sha256sum <"${zips[0]}" | cut -d' ' -f1)"
rm -rf "$check"
phase done
