# cmake -DSTANDIN=<powershell.exe> -P install_powershell_standin.cmake
#
# Puts our PowerShell stand-in where the host looks for powershell.exe: the system folder of
# the Wine prefix in use ($WINEPREFIX, else ~/.wine), over the stub Wine ships there. The host
# runs no other copy, so tests, the demo and the end-to-end runs all need this step.
if(NOT STANDIN OR NOT EXISTS "${STANDIN}")
  message(FATAL_ERROR "STANDIN must name the built powershell.exe stand-in: '${STANDIN}'")
endif()
if(DEFINED ENV{WINEPREFIX} AND NOT "$ENV{WINEPREFIX}" STREQUAL "")
  set(prefix "$ENV{WINEPREFIX}")
else()
  set(prefix "$ENV{HOME}/.wine")
endif()
set(system32 "${prefix}/drive_c/windows/system32")
if(NOT IS_DIRECTORY "${system32}")
  message(FATAL_ERROR "no Wine prefix at ${prefix}: boot it first (scripts/wine.sh wine_start)")
endif()
file(MAKE_DIRECTORY "${system32}/WindowsPowerShell/v1.0")
file(COPY_FILE "${STANDIN}" "${system32}/WindowsPowerShell/v1.0/powershell.exe" ONLY_IF_DIFFERENT)
