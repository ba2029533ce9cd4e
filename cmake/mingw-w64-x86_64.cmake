# Cross-compiles for 64-bit Windows with MinGW-w64 GCC (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# NOTE: the "-posix" compilers use the winpthreads thread model; the "-win32" ones have no
# std::mutex in this GCC version, and the view shares its state under a std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HALDENMOOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HALDENMOOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALDENMOOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HALDENMOOR_MINGW_PREFIX}-windres)
set(CMAKE_RANLIB ${HALDENMOOR_MINGW_PREFIX}-ranlib)

# Programs of the build machine, libraries and headers of the target only.
set(CMAKE_FIND_ROOT_PATH /usr/${HALDENMOOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# NOTE: a static runtime (libgcc, libstdc++, winpthread) so the programs need only the DLLs
# that every Windows has; -static keeps libwinpthread-1.dll out as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
