#!/usr/bin/env bash
# Builds Qt 6.4.2 for Windows (shared, MinGW-w64) from Debian's own source
# package qt6-base, into a cache folder outside the source tree, one per
# architecture. A cache that is already complete is reused as it is.
#
#   windows/build-qt.sh x86_64|i686
#
# PRECIOS_QT_CACHE   parent folder of the caches (default ~/.cache/precios)
# Needs: dpkg-dev, the g++-mingw-w64-<arch> posix compilers, cmake, ninja,
# perl and the host's Qt 6 tools (qt6-base-dev).
set -euo pipefail
arch="${1:?usage: build-qt.sh x86_64|i686}"
case "$arch" in x86_64|i686) ;; *) echo "unknown architecture $arch" >&2; exit 2 ;; esac
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
cache_root="${PRECIOS_QT_CACHE:-$HOME/.cache/precios}"
prefix="$cache_root/qt-6.4.2-$arch"
if [ -f "$prefix/.precios-complete" ]; then
    echo "Qt for $arch: using the cache in $prefix"
    exit 0
fi

# Debian's source package, fetched once with a private sources list so the
# machine's own apt configuration stays untouched.
src_root="$cache_root/qt-src"
mkdir -p "$src_root/lists/partial"
if ! ls -d "$src_root"/qt6-base-6.4.2*/ >/dev/null 2>&1; then
    cat > "$src_root/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
    apt_opts=(-o "Dir::Etc::SourceList=$src_root/sources.list" -o Dir::Etc::SourceParts=/dev/null
              -o "Dir::State::Lists=$src_root/lists" -o Dir::Cache=/tmp/precios-apt-cache)
    mkdir -p /tmp/precios-apt-cache/archives/partial
    apt-get "${apt_opts[@]}" update
    (cd "$src_root" && apt-get "${apt_opts[@]}" source qt6-base)
fi
qtsrc="$(ls -d "$src_root"/qt6-base-6.4.2*/ | head -n1)"; qtsrc="${qtsrc%/}"

# An interrupted build is carried on where it stopped.
build="$cache_root/qt-build-$arch"
rm -rf "$prefix"
# Direct2D is off, and without it Gui leaves out the DirectWrite 3 font
# database that the windows platform plugin would link: DirectWrite 3 off too.
start=$(date +%s)
cmake -S "$qtsrc" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-$arch.cmake" \
    -DPRECIOS_QT_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr \
    -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_opengl=ON -DFEATURE_opengl_dynamic=ON -DINPUT_opengl=dynamic \
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON -DFEATURE_png=ON -DFEATURE_jpeg=ON
cmake --build "$build"
cmake --install "$build"
# Qt's licence texts and where this Qt came from go with the installers.
mkdir -p "$prefix/licenses"
cp -r "$qtsrc/LICENSES/." "$prefix/licenses/"
cp "$qtsrc/debian/copyright" "$prefix/licenses/debian-copyright" 2>/dev/null || true
cat > "$prefix/licenses/SOURCE.txt" <<NOTE
Qt 6.4.2 (Core, Gui, Widgets, Test and their plugins) in this package was built
from Debian's source package qt6-base $(basename "$qtsrc" | sed 's/^qt6-base-//') (Debian 12 "bookworm",
"apt-get source qt6-base"), cross-compiled with MinGW-w64 for $arch Windows.
Its source code is available from Debian's archive under the name qt6-base.
Qt is licensed under the GNU LGPL version 3; the licence texts are in this folder.
NOTE
rm -rf "$build"
echo "Qt for $arch built in $(( $(date +%s) - start )) s into $prefix"
touch "$prefix/.precios-complete"
