#!/usr/bin/env bash
# Boots the Wine prefix of the Windows build tree and runs the mutation tool; arguments go to
# mutate.py. Needs the native and win trees built (scripts/build.sh native win).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${BUILD_ROOT:-build}
source scripts/wine.sh
trap wine_stop EXIT
wine_start "$PWD/$root/win/wineprefix"
cmake -DSTANDIN="$PWD/$root/win/standins/powershell/powershell.exe" \
  -DAS=WindowsPowerShell/v1.0/powershell.exe -P cmake/install_system_standin.cmake
/usr/bin/python3 tools/mutation/mutate.py --build-root "$PWD/$root" "$@"
