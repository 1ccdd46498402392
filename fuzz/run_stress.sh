#!/usr/bin/env bash
# Long crash and concurrency runs: the same tests ctest runs briefly, with
# more kills and a longer concurrent run. Fails when any check fails.
#
#   fuzz/run_stress.sh [kills, default 200] [concurrent seconds, default 60]
#
# Environment: STRESS_BUILD_DIR (default build; configured engine-only when
# absent), RELIABILITY_SEED (kill timings), RELIABILITY_FIGURES (default
# <build>/reliability-figures.txt: one line per run, appended).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-200}
seconds=${2:-60}
build=${STRESS_BUILD_DIR:-$src/build}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DPRECIOS_GUI=OFF >/dev/null
fi
cmake --build "$build" -j2 --target jet_tests
export RELIABILITY_FIGURES=${RELIABILITY_FIGURES:-$build/reliability-figures.txt}
export RELIABILITY_KILLS=$kills RELIABILITY_SECONDS=$seconds
export RELIABILITY_SEED=${RELIABILITY_SEED:-$RANDOM}
echo "stress: $kills kills (seed $RELIABILITY_SEED), $seconds s of concurrent writes"
"$build/jet/jet_tests" --gtest_filter='CrashKill.*:Concurrency.*' --gtest_brief=1
tail -n 2 "$RELIABILITY_FIGURES"
