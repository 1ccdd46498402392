#!/usr/bin/env bash
# Checks the Debian package as a user would meet it.
#
#   packaging/check_package.sh build/precios_1.0.0_amd64.deb
#       the package's fields and file list, desktop-file-validate, appstreamcli
#       validate --no-net, lintian (errors fail, warnings are printed), then
#       the program unpacked into a scratch root (dpkg -x) is started:
#         1. on the offscreen platform: it must still be running after a few
#            seconds (libraries, platform plugin and window all came up; it
#            waits in its file dialog) and end on SIGTERM;
#         2. on a virtual X display (xvfb-run): the file dialog is answered
#            with the unpacked demo store by typing its path, the window
#            "Materiales de Construccion Valtorna" must appear (it is mapped
#            only once the store is open: a failed opening would hold an
#            error box first), and closing it from outside as a window
#            manager would (WM_DELETE_WINDOW) must end the program with 0.
#   packaging/check_package.sh --installed
#       the installed package: the menu entry's Exec and Icon resolve, and
#       the session of step 2 runs with the program found on PATH and the
#       demo store under /usr/share/precios.
#
# PRECIOS_SCREENSHOT=file.png saves the window of step 2 (needs ImageMagick).
# Needs dpkg-dev, desktop-file-utils, appstream, lintian, xvfb, xauth,
# xdotool and python3-xlib.
set -euo pipefail

fail() {
    echo "check_package: $*" >&2
    exit 1
}

readonly caption='Materiales de Construccion Valtorna'
readonly expected_files='./usr/bin/precios
./usr/share/applications/precios.desktop
./usr/share/doc/precios/changelog.gz
./usr/share/doc/precios/copyright
./usr/share/icons/hicolor/16x16/apps/precios.png
./usr/share/icons/hicolor/24x24/apps/precios.png
./usr/share/icons/hicolor/256x256/apps/precios.png
./usr/share/icons/hicolor/32x32/apps/precios.png
./usr/share/icons/hicolor/48x48/apps/precios.png
./usr/share/icons/hicolor/64x64/apps/precios.png
./usr/share/man/es/man1/precios.1.gz
./usr/share/man/man1/precios.1.gz
./usr/share/metainfo/es.valtorna.precios.metainfo.xml
./usr/share/precios/demo/tienda.mdb'

# A private runtime and home folder for each run of the program, so that
# nothing of the caller's session is read or changed.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
new_home() {
    local home
    home=$(mktemp -d "$scratch/home.XXXX")
    mkdir -m 700 "$home/run"
    echo "$home"
}

# The menu entry under root ("" for the installed system): Exec names an
# executable program, Icon a hicolor icon of the package.
check_menu_entry() {
    local root=$1 entry exec icon program
    entry="$root/usr/share/applications/precios.desktop"
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    if [ -z "$root" ]; then
        program=$(command -v "$exec") || fail "Exec=$exec is not on PATH"
    else
        program="$root/usr/bin/$exec"
    fi
    [ -x "$program" ] || fail "Exec=$exec: $program is not an executable"
    for size in 16 24 32 48 64 256; do
        [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] ||
            fail "Icon=$icon: no ${size}x${size} icon"
    done
    echo "menu entry: Exec=$exec -> $program, Icon=$icon -> hicolor 16..256"
}

# Step 1: the program on the offscreen platform, ended by SIGTERM.
offscreen_start() {
    local program=$1 home pid status=0
    home=$(new_home)
    HOME=$home XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=offscreen \
        env -C "$home" "$program" >"$home/log" 2>&1 &
    pid=$!
    sleep 5
    kill -0 "$pid" 2>/dev/null || {
        wait "$pid" || status=$?
        cat "$home/log" >&2
        fail "the program ended by itself at start (status $status)"
    }
    kill -TERM "$pid"
    wait "$pid" || status=$?
    [ "$status" -eq 143 ] || fail "the program did not end on SIGTERM (status $status)"
    echo "offscreen: started, waited in its file dialog, ended on SIGTERM"
}

# Sends WM_DELETE_WINDOW to a window, as a window manager's close button does.
close_window() {
    # Debian's python3-xlib, whichever python3 comes first on PATH.
    /usr/bin/python3 - "$1" <<'EOF'
import sys
from Xlib import X, display, protocol
d = display.Display()
window = d.create_resource_object("window", int(sys.argv[1]))
close = protocol.event.ClientMessage(
    window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
    data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
window.send_event(close, event_mask=X.NoEventMask)
d.flush()
EOF
}

# Prints the first visible window that xdotool's search arguments match,
# waiting up to 30 s. One search is one walk over the window tree; a window
# destroyed during the walk (the file dialog closing, a tooltip) makes
# xdotool stop with BadWindow, so such a walk is simply made again.
visible_window() {
    local deadline=$((SECONDS + 30)) found
    while [ "$SECONDS" -lt "$deadline" ]; do
        found=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n 1) || true
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.2
    done
    return 1
}

# Step 2 (run inside xvfb-run): open the store through the file dialog,
# wait for the window, close it.
session() {
    local program=$1 store=$2 home pid dialog window status=0
    home=$(new_home)
    HOME=$home XDG_RUNTIME_DIR=$home/run env -C "$home" "$program" >"$home/log" 2>&1 &
    pid=$!
    # The dialog's window may still be settling when it is first seen mapped
    # (with no window manager nothing else steadies it): focus it again until
    # the focus holds.
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        sleep 1
        dialog=$(visible_window --class precios) || fail "no file dialog appeared"
        xdotool windowfocus --sync "$dialog" 2>/dev/null &&
            [ "$(xdotool getwindowfocus)" = "$dialog" ] && break
        [ "$attempt" -lt 10 ] || fail "the file dialog does not take the focus"
    done
    xdotool type --delay 20 "$store"
    xdotool key Return
    window=$(visible_window --name "^$caption\$") || {
        cat "$home/log" >&2
        fail "the window did not appear after choosing $store"
    }
    echo "session: chose $store in the file dialog; window \"$caption\" shown"
    if [ -n "${PRECIOS_SCREENSHOT:-}" ]; then
        sleep 2
        import -window "$window" "png:$PRECIOS_SCREENSHOT"
        echo "session: window saved to $PRECIOS_SCREENSHOT"
    fi
    close_window "$window"
    timeout 30 tail --pid="$pid" -f /dev/null || fail "the program did not end when closed"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { cat "$home/log" >&2; fail "the program ended with $status"; }
    echo "session: window closed, program ended with 0"
}

in_display() {
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" --session "$@"
}

case "${1:-}" in
--session)
    session "$2" "$3"
    ;;
--installed)
    check_menu_entry ""
    in_display "$(command -v precios)" /usr/share/precios/demo/tienda.mdb
    ;;
*.deb)
    deb=$(realpath "$1")
    dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
    [ "$(dpkg-deb --field "$deb" Recommends)" = fonts-wine ] || fail "Recommends is not fonts-wine"
    dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' ||
        fail "Depends lacks the Qt libraries (dpkg-shlibdeps did not run?)"

    files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
    [ "$files" = "$expected_files" ] ||
        fail "file list differs:"$'\n'"$(diff <(echo "$expected_files") <(echo "$files"))"
    echo "file list: $(echo "$files" | wc -l) files as expected"

    root=$scratch/root
    dpkg -x "$deb" "$root"
    desktop-file-validate "$root/usr/share/applications/precios.desktop"
    echo "desktop-file-validate: no message"
    appstreamcli validate --no-net "$root/usr/share/metainfo/es.valtorna.precios.metainfo.xml"
    lintian --fail-on error --display-info "$deb"
    echo "lintian: no error"

    check_menu_entry "$root"
    offscreen_start "$root/usr/bin/precios"
    in_display "$root/usr/bin/precios" "$root/usr/share/precios/demo/tienda.mdb"
    ;;
*)
    echo "usage: $0 PACKAGE.deb | --installed" >&2
    exit 2
    ;;
esac
