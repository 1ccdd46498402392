#!/usr/bin/env bash
# Installs a Windows installer silently under wine, starts the installed
# precios.exe (offscreen, with nothing but the installed folder on its path),
# then runs the uninstaller and checks that the folder is gone.
#   windows/check-installer.sh build-win-x86_64/precios-1.0.0-win64.exe [x86_64|i686]
set -euo pipefail
installer="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
arch="${2:-x86_64}"
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX="$("$here/wine-prefix.sh" "$arch")"
folder="$WINEPREFIX/drive_c/precios-check"
rm -rf "$folder"
fail() { echo "check-installer: $*" >&2; exit 1; }

default="$WINEPREFIX/drive_c/Program Files/Precios"
# What an earlier check left behind would stop the installer early.
rm -rf "$default"
wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Precios' /f >/dev/null 2>&1 || true
wine "$installer" /S 'https://www.php8.ltd:/HostLocMJJ/https://github.com/D=C:\precios-check'
wineserver -w
# Under wine the installer (which asks for administrator rights) goes on in
# a process of its own and has been seen to keep its default folder instead
# of the one /D= names: wait for it, and say which folder it used.
winfolder='C:\precios-check'
for _ in $(seq 60); do
    [ -f "$folder/precios.exe" ] || [ -f "$default/precios.exe" ] && break
    sleep 1
done
if [ ! -f "$folder/precios.exe" ] && [ -f "$default/precios.exe" ]; then
    echo "check-installer: /D= was not honoured; checking the default folder instead"
    folder="$default"
    winfolder='C:\Program Files\Precios'
fi
[ -f "$folder/precios.exe" ] || fail "no precios.exe in the installed folder"
sleep 5  # the installer may still be writing the rest of the folder
for f in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
         licenses/qt/SOURCE.txt Uninstall.exe; do
    [ -e "$folder/$f" ] || fail "$f missing from the installed folder"
done
find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Precios.lnk' | grep -q . \
    || fail "no Start-menu entry Precios"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Precios' /v DisplayName \
    | grep -q Precios || fail "not listed among the installed programs"
echo "installed: $(du -sh "$folder" | cut -f1) in $winfolder"

# The program starts from its folder alone and is still running (its file
# dialog open) after 15 s; a missing DLL or plugin ends it at once.
log="$(mktemp)"
set +e
(cd "$folder" && QT_QPA_PLATFORM=offscreen WINEDEBUG=err+module WINEPATH= \
    timeout 15 wine "$winfolder\\precios.exe") >"$log" 2>&1
rc=$?
set -e
wineserver -k || true
if [ "$rc" -ne 124 ] || grep -qi 'not found\|could not\|cannot' "$log"; then
    cat "$log" >&2
    fail "the installed precios.exe did not keep running (exit $rc)"
fi
rm -f "$log"
echo "started: precios.exe kept running for 15 s"

wine "$winfolder\\Uninstall.exe" /S
wineserver -w
for _ in $(seq 30); do [ -e "$folder" ] || break; sleep 1; done
[ ! -e "$folder" ] || fail "the uninstaller left $folder"
if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Precios' >/dev/null 2>&1; then
    fail "the uninstaller left the Add/Remove programs entry"
fi
echo "uninstalled: folder and programs entry gone"
echo "check-installer: $(basename "$installer") OK"
