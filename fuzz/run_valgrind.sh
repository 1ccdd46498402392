#!/usr/bin/env bash
# valgrind memcheck over two runs:
#  1. the engine: its session scenario (open, search, edit, apply, ticket
#     update, close) and the bad-input search cases of jet_tests;
#  2. the tool: tests/window_session drives the real window offscreen on a
#     generated demo store (open through the file dialog, search, grid,
#     cancel and save an edit, a refused number, "Aplicar Cambios",
#     "Cambiar Estado", reopen, close, exit) and checks the file afterwards.
# Fails on any leak (definite or indirect), any invalid access or use of an
# uninitialised value, and on a session that did not do what it should.
# Needs a build with the window (PRECIOS_GUI on, the default).
#
#   fuzz/run_valgrind.sh        (STRESS_BUILD_DIR: default build)
#
# Suppressions, if ever needed for third-party libraries, go in
# fuzz/valgrind.supp, each narrow and with its reason; it is used when present.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${STRESS_BUILD_DIR:-$src/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja >/dev/null
fi
if grep -q '^PRECIOS_GUI:BOOL=OFF' "$build/CMakeCache.txt"; then
    echo "run_valgrind.sh: $build is built without the window (PRECIOS_GUI=OFF);" \
        "point STRESS_BUILD_DIR at a full build" >&2
    exit 2
fi
cmake --build "$build" -j2 --target jet_tests window_session

memcheck=(valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --num-callers=40)
if [ -f "$src/fuzz/valgrind.supp" ]; then
    memcheck+=(--suppressions="$src/fuzz/valgrind.supp")
fi

start=$SECONDS
"${memcheck[@]}" "$build/jet/jet_tests" --gtest_brief=1 \
    --gtest_filter='SessionScenario.*:SearchText.*:BadInputFile.ForeignZeroLengthAndTinyFilesAreNotDatabases:BadInputFile.PasswordProtectedAndAccdbAreRefusedByName'
echo "valgrind, engine: no leak, no invalid access ($((SECONDS - start)) s)"

start=$SECONDS
# Qt wants a private runtime folder; a fresh one keeps the run independent
# of the caller's session.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
    "${memcheck[@]}" "$build/tests/window_session"
echo "valgrind, window session: no leak, no invalid access ($((SECONDS - start)) s)"
