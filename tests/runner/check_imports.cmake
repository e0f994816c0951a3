# cmake -DOBJDUMP=<objdump> -DEXE=<orvanta.exe> -P check_imports.cmake
#
# orvanta.exe may import at load time only what Windows never takes from the application's
# folder, the KnownDLLs, besides the UI runtime and its five plug-ins, which live there. Any other
# DLL imported by name would be looked for beside orvanta.exe first, where a planted copy wins.
cmake_minimum_required(VERSION 3.20)
set(known_dlls
    advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf
    msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi
    user32 wldap32 ws2_32)
set(beside_the_host
    flutter_windows connectivity_plus_plugin screen_retriever_plugin system_tray_plugin
    url_launcher_windows_plugin window_manager_plugin)

execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${failed}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: (.+)\\.[Dd][Ll][Ll]$" "\\1" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
  if(NOT name IN_LIST known_dlls AND NOT name IN_LIST beside_the_host)
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
