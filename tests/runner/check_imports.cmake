# cmake -DOBJDUMP=<objdump> -DEXE=<orvanta.exe> -P check_imports.cmake     (mingw-w64)
# cmake -DDUMPBIN=<dumpbin> -DEXE=<orvanta.exe> -P check_imports.cmake     (MSVC)
#
# orvanta.exe may import at load time only what Windows never takes from the application's
# folder, the KnownDLLs, besides the UI runtime and its five plug-ins, which live there. Any other
# DLL imported by name would be looked for beside orvanta.exe first, where a planted copy wins.
# An MSVC build (with the DLL runtime, CMake's default) also imports the C and C++ runtime: the
# API sets api-ms-win-crt-*, which the loader resolves itself, and vcruntime140 and msvcp140 (and
# their _1, _2, ... parts), which the UI runtime's own build output ships beside it.
cmake_minimum_required(VERSION 3.20)
set(known_dlls
    advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf
    msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi
    user32 wldap32 ws2_32)
set(beside_the_host
    flutter_windows connectivity_plus_plugin screen_retriever_plugin system_tray_plugin
    url_launcher_windows_plugin window_manager_plugin)

if(DUMPBIN)
  set(reader "${DUMPBIN}" /nologo /imports "${EXE}")
  # Each imported DLL heads its list of functions on a line of its own, indented by 4.
  set(line_pattern "\n    [^ \r\n]+\\.[Dd][Ll][Ll]\r?\n")
  set(runtime_pattern "^(api-ms-win-crt-.+|(vcruntime|msvcp)140(_[a-z0-9_]+)?)$")
else()
  set(reader "${OBJDUMP}" -p "${EXE}")
  set(line_pattern "DLL Name: [^\r\n]+")
endif()
execute_process(COMMAND ${reader} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${reader} failed: ${failed}")
endif()
string(REGEX MATCHALL "${line_pattern}" lines "${dump}")
set(imported "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  string(REGEX REPLACE "^(DLL Name: )?(.+)\\.[Dd][Ll][Ll]$" "\\2" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
  if(NOT name IN_LIST known_dlls AND NOT name IN_LIST beside_the_host AND
     NOT (runtime_pattern AND name MATCHES "${runtime_pattern}"))
    list(APPEND refused ${line})
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "imported at load time but neither a KnownDLL nor the runtime or a "
                      "plug-in: ${refused}")
endif()
foreach(name IN LISTS beside_the_host)
  if(NOT name IN_LIST imported)
    message(FATAL_ERROR "${name}.dll missing from the imports (read: ${imported})")
  endif()
endforeach()
message(STATUS "imports: ${imported}")
