#!/usr/bin/env bash
# Makes the private wine prefix the Windows builds are tested in, once:
# ${PRECIOS_WINEPREFIX:-~/.cache/precios/wine-<arch>}. Prints its path.
#   windows/wine-prefix.sh x86_64|i686
set -euo pipefail
arch="${1:-x86_64}"
prefix="${PRECIOS_WINEPREFIX:-${PRECIOS_QT_CACHE:-$HOME/.cache/precios}/wine-$arch}"
if [ ! -f "$prefix/.precios-ready" ]; then
    mkdir -p "$prefix"
    if [ "$arch" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        wine wineboot -i >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w
    touch "$prefix/.precios-ready"
fi
echo "$prefix"
