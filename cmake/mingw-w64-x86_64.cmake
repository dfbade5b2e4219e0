# Cross-builds for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The posix thread model, not win32: GCC 12's win32 model has no std::thread, std::mutex or
# std::condition_variable, and the posix one has all of them. Its threading library
# (winpthreads) is linked statically along with libgcc and libstdc++, so a program needs no DLL
# beyond those that ship with Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ROTORIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ROTORIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROTORIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ROTORIX_MINGW_TRIPLE}-windres)

# Headers, libraries and packages come from the mingw sysroot only, never from the host; programs
# (pkg-config, python3) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ROTORIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
