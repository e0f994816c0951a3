#!/usr/bin/env bash
# on_screens.sh <prefix-dir> <WxH>... -- <windows-program> [arguments...]
# Runs the program under Wine once on each virtual screen size, each time with a display and
# a Wine server of its own in <prefix-dir>: Wine keeps the monitors its server first saw, so
# neither the tests' usual display nor its running server can show another size. Fails when
# any run fails.
set -uo pipefail
source "$(dirname "$0")/../../scripts/wine.sh"

prefix=$1
shift
screens=()
while (($#)) && [ "$1" != "--" ]; do
  screens+=("$1")
  shift
done
shift
((${#screens[@]} && $#)) || { echo "usage: $0 <prefix-dir> <WxH>... -- <program> [args]" >&2; exit 64; }

failed=0
for screen in "${screens[@]}"; do
  echo "== screen $screen"
  (
    trap wine_stop EXIT
    # A server left by an interrupted run would still show that run's screen.
    WINEPREFIX=$prefix timeout 30 "$WINESERVER" -k </dev/null >/dev/null 2>&1
    wine_start "$prefix" "$screen"
    # Judged as every GoogleTest program is: exit code 0 and the pass line, so that a filter
    # that matches nothing cannot pass.
    timeout 120 cmake -DOUTPUT="$prefix/screen-$screen.output" \
      -P "$(dirname "$0")/../../cmake/run_gtest.cmake" -- "$WINE" "$@" </dev/null
  ) || failed=1
done
exit "$failed"
