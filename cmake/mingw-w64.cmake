# Cross-compiling the engine for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). The "posix" compilers are used because only they
# give std::thread and std::mutex with GCC 12. Everything is linked
# statically so the .exe files run without MinGW's DLLs beside them.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DPRECIOS_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PRECIOS_MINGW_PREFIX x86_64-w64-mingw32)

find_program(CMAKE_CXX_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-g++-posix ${PRECIOS_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-gcc-posix ${PRECIOS_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PRECIOS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests and tools run the .exe files through wine when it is there.
find_program(PRECIOS_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(PRECIOS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PRECIOS_WINE})
endif()
