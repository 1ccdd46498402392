#!/usr/bin/env bash
# Runs the engine's session scenario (open, search, edit, apply, ticket
# update, close) and the bad-input search cases under valgrind memcheck.
# Fails on any leak (definite or indirect) or invalid access.
#
#   fuzz/run_valgrind.sh        (STRESS_BUILD_DIR: default build)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${STRESS_BUILD_DIR:-$src/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DPRECIOS_GUI=OFF >/dev/null
fi
cmake --build "$build" -j2 --target jet_tests
valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
    "$build/jet/jet_tests" --gtest_brief=1 \
    --gtest_filter='SessionScenario.*:SearchText.*:BadInputFile.ForeignZeroLengthAndTinyFilesAreNotDatabases:BadInputFile.PasswordProtectedAndAccdbAreRefusedByName'
echo "valgrind: no leak, no invalid access"
