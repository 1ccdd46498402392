# Shared part of the MinGW-w64 toolchain files for the Windows program
# (cmake/mingw-w64-x86_64.cmake, cmake/mingw-w64-i686.cmake). Those set
# PRECIOS_MINGW_ARCH and include this file. Unlike cmake/mingw-w64.cmake
# (static, engine only) these link dynamically against a Qt for Windows
# built by windows/build-qt.sh, so the program ships with Qt's DLLs and
# MinGW's runtime DLLs beside it.
#
# The Qt for Windows is looked up in PRECIOS_QT_PREFIX (cache variable or
# environment), by default ~/.cache/precios/qt-6.4.2-<arch>. Qt's host tools
# (moc, rcc, uic) come from the system's Qt 6.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PRECIOS_MINGW_ARCH})
set(PRECIOS_MINGW_PREFIX ${PRECIOS_MINGW_ARCH}-w64-mingw32)

find_program(CMAKE_CXX_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PRECIOS_MINGW_PREFIX}-windres)

if(NOT PRECIOS_QT_PREFIX)
  if(DEFINED ENV{PRECIOS_QT_PREFIX})
    set(PRECIOS_QT_PREFIX "$ENV{PRECIOS_QT_PREFIX}")
  elseif(DEFINED ENV{PRECIOS_QT_CACHE})
    set(PRECIOS_QT_PREFIX "$ENV{PRECIOS_QT_CACHE}/qt-6.4.2-${PRECIOS_MINGW_ARCH}")
  else()
    set(PRECIOS_QT_PREFIX "$ENV{HOME}/.cache/precios/qt-6.4.2-${PRECIOS_MINGW_ARCH}")
  endif()
endif()
# try_compile projects re-read this file: hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PRECIOS_MINGW_ARCH PRECIOS_QT_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${PRECIOS_MINGW_PREFIX} ${PRECIOS_QT_PREFIX})
set(CMAKE_PREFIX_PATH ${PRECIOS_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# BOTH: Qt's cross build must still find the host's Qt6HostInfo package under
# /usr; the target Qt is found first because it is on the root path.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(QT_HOST_PATH /usr CACHE PATH "Prefix of the host's Qt 6 tools")
set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo
    CACHE PATH "Host Qt's Qt6HostInfo package")

# Tests run through wine with the Qt and MinGW DLLs on its path.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/../windows/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/../windows/wine-run.sh ${PRECIOS_MINGW_ARCH} ${PRECIOS_QT_PREFIX})
endif()
