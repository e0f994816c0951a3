# A second compiler for the Windows program: Debian's Clang for the mingw-w64 target, with the
# mingw-w64 headers and libraries of the posix-thread GCC cross compiler, linked by lld. Its
# diagnostics are the nearest thing to MSVC's on this machine; nothing built here is shipped.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_DLLTOOL x86_64-w64-mingw32-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Clang finds the mingw-w64 C headers but not the C++ library of a GCC whose version folder is
# named "12-posix".
set(gcc_dir /usr/lib/gcc/x86_64-w64-mingw32/12-posix)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${gcc_dir}/include/c++
    ${gcc_dir}/include/c++/x86_64-w64-mingw32 ${gcc_dir}/include/c++/backward)
# libstdc++.a of the posix-thread GCC calls winpthread: -pthread puts it after the C++ library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir} -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir} -pthread")
