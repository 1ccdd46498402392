#!/usr/bin/env bash
# How far the Windows build's ODBC route gets under wine. wine's odbc32 hands
# the calls to the system's driver manager (unixODBC), so the mdbtools driver
# is registered as "Microsoft Access Driver (*.mdb)" in a temporary
# odbcinst.ini (ODBCSYSINI, set on the Unix side where unixODBC reads it) and
# the data layer's ODBC test case is run under wine.
#
# The Windows program hands the driver a Windows path (DBQ=C:/users/...). The
# Linux driver takes "C:/users/..." as a path relative to the process's Unix
# working folder, so the case runs from a folder holding a link named "C:" to
# the wine prefix's drive_c: the Windows path then names the same file on
# both sides. Nothing in the program is changed for wine.
#   windows/odbc-under-wine.sh [build-win-x86_64]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build-win-x86_64}" && pwd)"
qt="${PRECIOS_QT_PREFIX:-${PRECIOS_QT_CACHE:-$HOME/.cache/precios}/qt-6.4.2-x86_64}"
sys="$(mktemp -d)"
prefix="$("$here/wine-prefix.sh" x86_64)"
ln -s "$prefix/drive_c" "$sys/C:"
trap 'rm -rf "$sys"' EXIT
cat > "$sys/odbcinst.ini" <<INI
[Microsoft Access Driver (*.mdb)]
Description=mdbtools
Driver=/usr/lib/x86_64-linux-gnu/odbc/libmdbodbcW.so
INI
: > "$sys/odbc.ini"
cd "$sys"
ODBCSYSINI="$sys" ODBCINI="$sys/odbc.ini" \
    "$here/wine-run.sh" x86_64 "$qt" "$build/db/db_tests.exe" \
    --gtest_filter='OdbcRouteTest.RegisteredAccessDriverIsChosenAndReads'
