#!/usr/bin/env bash
# The release: builds orvanta.exe of this checkout in a fresh Release tree (the product only,
# ${BUILD_ROOT:-build}/release-tree), checks its PE header, and writes
# orvanta-<version>-windows-x64.zip (orvanta.exe, README.txt of the drop-in layout, SHA256SUMS)
# and its .sha256 into the given folder (default ${BUILD_ROOT:-build}/release).
#   scripts/release.sh [output-folder]
# The version is the CMake project's. One commit gives one zip, byte for byte, wherever it is
# checked out: the build records neither time nor folder, and the zip's dates are the commit's
# (SOURCE_DATE_EPOCH, unless set).
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}
out=${1:-$root/release}
tree=$root/release-tree

scripts/setup.sh --release
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: WARNING: uncommitted changes; this zip is not commit $commit's" >&2
fi

rm -rf "$tree"
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DORVANTA_BUILD_TESTS=OFF >/dev/null
cmake --build "$tree" -j "$(nproc)" --target orvanta
exe=$tree/app/orvanta.exe
cmake -DEXE="$exe" -DLIBSSP=ON -P tests/runner/check_pe_header.cmake

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
mkdir -p "$out"
zip=$out/orvanta-$version-windows-x64.zip
rm -f "$zip"
/usr/bin/python3 tools/release/make_zip.py "$zip" "$exe" tools/release/README.txt.in \
  "$version" "$commit" "$SOURCE_DATE_EPOCH"
(cd "$out" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256")
echo "release: $zip"
echo "release: SHA-256 $(cut -d' ' -f1 "$zip.sha256") (commit $commit)"
