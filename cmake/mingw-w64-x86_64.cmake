# The Windows program for 64-bit Windows (MinGW-w64, Qt DLLs); see mingw-w64-common.cmake.
#   cmake -S . -B build-win-x86_64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(PRECIOS_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
