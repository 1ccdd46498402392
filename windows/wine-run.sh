#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine: ctest's emulator
# (CMAKE_CROSSCOMPILING_EMULATOR in cmake/mingw-w64-common.cmake).
#   windows/wine-run.sh <arch> <qt prefix> program.exe [arguments...]
# The private prefix comes from windows/wine-prefix.sh; Qt's DLLs, plugins
# and MinGW's runtime DLLs are put on wine's path. Windows on the offscreen
# platform unless QT_QPA_PLATFORM says otherwise.
set -euo pipefail
arch="$1"; qt="$2"; shift 2
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX
WINEPREFIX="$("$here/wine-prefix.sh" "$arch")"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# wine maps the Unix root to drive Z:.
win() { local p; p="$(cd "$1" && pwd)"; echo "Z:${p//\//\\}"; }
runtime="$(dirname "$("$arch-w64-mingw32-g++-posix" -print-libgcc-file-name)")"
export WINEPATH="$(win "$qt/bin");$(win "$runtime");$(win "/usr/$arch-w64-mingw32/lib")"
export QT_PLUGIN_PATH="$(win "$qt/plugins")"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
exec wine "$@"
