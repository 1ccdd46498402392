#!/usr/bin/env bash
# The real Windows window under wine: starts the 64-bit build's precios.exe on
# Xvfb with openbox as window manager, saves the file dialog, opens the demo
# store in it and saves the main window.
#   windows/screenshot.sh <installed or portable folder> <store.mdb> <dialog.png> <window.png>
# Needs: xvfb, openbox, xdotool, imagemagick, wine.
set -euo pipefail
folder="$(cd "$1" && pwd)"; store="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
dialog_png="$3"; window_png="$4"
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX="$("$here/wine-prefix.sh" x86_64)"
display=:93
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$app" "$wm" "$xvfb" 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
export DISPLAY="$display"
sleep 2
openbox >/dev/null 2>&1 &
wm=$!
work="$(mktemp -d)"
cp "$store" "$work/"
(cd "$work" && exec wine "$folder/precios.exe") >/dev/null 2>&1 &
app=$!
# The file dialog (wine's common dialog) comes first.
for _ in $(seq 60); do
    xdotool search --onlyvisible --name '.' >/dev/null 2>&1 && break
    sleep 1
done
sleep 8
import -window root "$dialog_png"
xdotool type --delay 80 "$(basename "$store")"
xdotool key Return
sleep 10
import -window root "$window_png"
echo "saved $dialog_png and $window_png"
