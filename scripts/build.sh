#!/usr/bin/env bash
# Configures and builds the three trees under ${BUILD_ROOT:-build}:
#   native  g++, release (with the benchmarks when ORVANTA_BENCH=ON)
#   asan    clang with AddressSanitizer, UBSan and the libFuzzer targets
#   win     mingw-w64 cross build of the Windows program, stand-ins and tests (and the Wine
#           benchmarks when ORVANTA_BENCH=ON)
#   clang-win  the product only, by Clang for the Windows target and lld, warnings as errors: a
#           second compiler's view of the code (not built unless named)
# Pass tree names to build only some of them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}
trees=("$@")
((${#trees[@]})) || trees=(native asan win)
jobs=$(nproc)
bench=${ORVANTA_BENCH:-OFF}

for tree in "${trees[@]}"; do
  case "$tree" in
    native)
      cmake -S . -B "$root/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER=g++ -DORVANTA_BENCH="$bench" >/dev/null ;;
    asan)
      cmake -S . -B "$root/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DORVANTA_SANITIZE=ON -DORVANTA_FUZZ=ON >/dev/null ;;
    win)
      cmake -S . -B "$root/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DORVANTA_BENCH="$bench" >/dev/null ;;
    clang-win)
      cmake -S . -B "$root/clang-win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-w64-x86_64.cmake -DORVANTA_BUILD_TESTS=OFF \
        >/dev/null ;;
    *) echo "unknown tree: $tree" >&2; exit 2 ;;
  esac
  echo "build: $tree"
  cmake --build "$root/$tree" -j "$jobs"
done
