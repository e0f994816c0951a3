# Warnings are errors for every target of ours (not for GoogleTest or other vendored code).
function(orvanta_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Werror)
  endif()
endfunction()

# Test and tool executables of the cross build are linked statically so Wine needs no mingw DLLs.
function(orvanta_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
