# Warnings are errors for every target of ours (not for GoogleTest or other vendored code).
# Every target of ours also sees the same windows.h: without the min and max macros, which break
# std::min and std::max with MSVC's SDK (mingw-w64 defines them for C only, so GCC never shows
# it), and lean, without the old winsock.h that would clash with winsock2.h. A file that needs a
# header the lean windows.h leaves out (shellapi.h, objbase.h, ...) includes it itself.
function(orvanta_warnings target)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
  if(MSVC)
    # Our sources are UTF-8: without /utf-8 MSVC reads them in the machine's code page.
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Werror)
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Clang sees more than GCC here, each a fault of its own: a name that hides a member or an
    # outer local wherever it is declared (MSVC's C4456 to C4458), an unmarked fall-through, code
    # that can never run, a variable that some path reads unset.
    target_compile_options(${target} PRIVATE -Wshadow-all -Wimplicit-fallthrough
                                             -Wunreachable-code -Wconditional-uninitialized)
  endif()
endfunction()

# Test and tool executables of the cross build are linked statically so Wine needs no mingw DLLs.
function(orvanta_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
