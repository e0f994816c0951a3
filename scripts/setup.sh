#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine (run as root, or
# with sudo available). Packages and locales already present are left alone.
#   scripts/setup.sh          the build and every test
#   scripts/setup.sh --bench  also what the native benchmarks link (Google Benchmark, msgpack)
#   scripts/setup.sh --format only what scripts/check_format.sh needs (clang-format)
#   scripts/setup.sh --release only what scripts/release.sh needs (the cross compiler)
set -euo pipefail

packages=(
  cmake ninja-build g++ clang lld libclang-rt-14-dev clang-format git
  libgtest-dev googletest
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine64 xvfb xauth python3 python3-pytest locales
)
# Wine takes a process's ANSI code page from its locale, and reads non-ASCII Unix paths only
# under a locale that glibc has: the tests run the host under code pages 1252 and 1251.
locales=(en_US.UTF-8 ru_RU.UTF-8)
case "${1:-}" in
  --bench) packages+=(libbenchmark-dev libmsgpack-cxx-dev) ;;
  --format) packages=(clang-format) locales=() ;;
  --release)
    packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev python3 git)
    locales=() ;;
esac

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
    "${missing[@]}" >/dev/null
fi

absent=()
for l in "${locales[@]}"; do
  locale -a | grep -qix "${l/UTF-8/utf8}" || absent+=("$l")
done
if ((${#absent[@]})); then
  echo "setup: generating locales ${absent[*]}"
  for l in "${absent[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen ||
      echo "$l UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
