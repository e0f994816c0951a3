# cmake -DSTANDIN=<file> -DAS=<path below system32> -P install_system_standin.cmake
#
# Puts one of our stand-ins where the host looks for the system's own: the system folder of the
# Wine prefix in use ($WINEPREFIX, else ~/.wine), over what Wine ships there.
# - powershell.exe, AS=WindowsPowerShell/v1.0/powershell.exe: the host runs no other copy, so
#   tests, the demo and the end-to-end runs all need this step.
# - the WinINet recorder, AS=wininet.dll: the host loads WinINet from the system folder only.
#   Wine still prefers its own WinINet unless WINEDLLOVERRIDES says wininet=n,b, so only the
#   processes that ask for the recorder get it.
foreach(required STANDIN AS)
  if(NOT ${required})
    message(FATAL_ERROR "${required} unset: -DSTANDIN=<file> -DAS=<path below system32>")
  endif()
endforeach()
if(NOT EXISTS "${STANDIN}")
  message(FATAL_ERROR "STANDIN names no built stand-in: '${STANDIN}'")
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
get_filename_component(folder "${system32}/${AS}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(COPY_FILE "${STANDIN}" "${system32}/${AS}" ONLY_IF_DIFFERENT)
