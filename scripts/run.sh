#!/usr/bin/env bash
# The main job, from a fresh Debian 12 machine: installs what is missing, builds the Windows
# program, starts orvanta.exe under Wine with a virtual display and plays a real VPN session
# through the UI bridge with the Python driver, printing each call and answer and the per-user
# proxy values before and after; then closes the window and expects exit code 0.
#   scripts/run.sh                 the scripted session
#   scripts/run.sh --interactive   type the UI's calls yourself ("help" lists them)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BUILD_ROOT:-build}

scripts/setup.sh
scripts/build.sh win

source scripts/wine.sh
trap wine_stop EXIT
wine_start "$PWD/$root/win/wineprefix"
# The host runs only the system folder's powershell.exe: our stand-in goes there.
cmake -DSTANDIN="$PWD/$root/win/standins/powershell/powershell.exe" \
  -DAS=WindowsPowerShell/v1.0/powershell.exe -P cmake/install_system_standin.cmake

status=0
PYTHONPATH="$PWD/driver" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m orvanta_driver \
  --app-dir "$PWD/$root/win/app" "$@" || status=$?
if [ "$status" -eq 0 ]; then
  echo "run: session complete, orvanta.exe ended with exit code 0"
else
  echo "run: FAILED (status $status)" >&2
fi
exit "$status"
