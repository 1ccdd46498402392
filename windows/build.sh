#!/usr/bin/env bash
# The Windows program in one command: Qt for Windows (from the cache or built
# anew by windows/build-qt.sh), the 64-bit and 32-bit builds, the 64-bit
# tests under wine (the 32-bit ones too where wine32 is installed), the NSIS
# installers and portable ZIPs, and a silent install / start / uninstall of
# the 64-bit installer under wine.
#
#   windows/build.sh            from the repository's root or anywhere
#
# Output: build-win-x86_64/precios-1.0.0-win64.{exe,zip} and
#         build-win-i686/precios-1.0.0-win32.{exe,zip}
# PRECIOS_WIN_ARCHS    architectures to build (default "x86_64 i686")
# PRECIOS_QT_CACHE     where the Qt builds are kept (default ~/.cache/precios)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"
cd "$repo"
archs="${PRECIOS_WIN_ARCHS:-x86_64 i686}"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

need=()
for a in $archs; do command -v "$a-w64-mingw32-g++-posix" >/dev/null || need+=("g++-mingw-w64-${a//_/-}-posix"); done
command -v wine >/dev/null || need+=(wine wine64)
command -v makensis >/dev/null || need+=(nsis)
command -v zip >/dev/null || need+=(zip)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
[ -d /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo ] || need+=(qt6-base-dev)
[ -d /usr/src/googletest ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
    else
        echo "windows/build.sh needs: ${need[*]} (apt-get install them)" >&2
        exit 1
    fi
fi

# A 32-bit program runs under wine only with wine32 (i386) installed.
wine32=no
if dpkg -s wine32:i386 >/dev/null 2>&1; then wine32=yes; fi

times=()
clock() { times+=("$1: $(( $(date +%s) - $2 )) s"); }
installers=()
for arch in $archs; do
    if [ "$arch" = x86_64 ]; then bits=64; else bits=32; fi
    t=$(date +%s)
    "$here/build-qt.sh" "$arch"
    clock "Qt $arch (cache or build)" "$t"

    build="build-win-$arch"
    t=$(date +%s)
    # -O2 as in the Linux build: GCC 12 at -O3 gives false -Wrestrict warnings
    # inside std::string's operator+ (a known GCC 12 fault).
    cmake -S . -B "$build" -G Ninja -DPRECIOS_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-$arch.cmake"
    run_tests=yes
    if [ "$arch" = i686 ] && [ "$wine32" = no ]; then run_tests=no; fi
    if [ "$run_tests" = yes ]; then
        cmake --build "$build"
    else
        # Without wine32 the 32-bit tests could not run: build the program only.
        cmake --build "$build" --target precios
    fi
    clock "build $arch" "$t"

    if [ "$run_tests" = yes ]; then
        t=$(date +%s)
        ctest --test-dir "$build" --output-on-failure -j1
        clock "tests $arch under wine" "$t"
    else
        echo "== $arch: wine32 (i386) is not installed here, so the 32-bit tests do not run under wine"
    fi

    t=$(date +%s)
    (cd "$build" && cpack)
    clock "installers $arch" "$t"
    installers+=("$repo/$build/precios-1.0.0-win$bits.exe" "$repo/$build/precios-1.0.0-win$bits.zip")
    if [ "$arch" = x86_64 ] || [ "$wine32" = yes ]; then
        t=$(date +%s)
        "$here/check-installer.sh" "$build/precios-1.0.0-win$bits.exe" "$arch"
        clock "install check $arch" "$t"
    fi
done

echo "== times"
printf '  %s\n' "${times[@]}"
echo "== installers and portable copies"
for f in "${installers[@]}"; do echo "  $f ($(du -h "$f" | cut -f1))"; done
