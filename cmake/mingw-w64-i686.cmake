# The Windows program for 32-bit Windows (MinGW-w64, Qt DLLs); see mingw-w64-common.cmake.
#   cmake -S . -B build-win-i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(PRECIOS_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
