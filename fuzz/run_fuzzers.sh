#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for a bounded
# time. Fails on any crash, hang (10 s per input), leak, out-of-memory or
# sanitizer report; the input that caused it is left in <work>/<target>/.
#
#   fuzz/run_fuzzers.sh [seconds per target, default 60] [target...]
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz), FUZZ_WORK_DIR (default
# <build>/fuzz-work: corpora grow there between runs), PRECIOS_FIXTURES_DIR
# (default ../shared/fixtures, the seed files).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_open_file fuzz_sql fuzz_parse_number)
build=${FUZZ_BUILD_DIR:-$src/build-fuzz}
work=${FUZZ_WORK_DIR:-$build/fuzz-work}
fixtures=${PRECIOS_FIXTURES_DIR:-$src/../shared/fixtures}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" --preset fuzz >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]}"

# Seeds for the file target: every small fixture whole, and the first pages
# of each (a short file reaches the header and catalog checks quickly).
seed_files() {
    local dir=$1
    mkdir -p "$dir"
    [ -d "$fixtures" ] || { echo "run_fuzzers: no fixtures at $fixtures; committed seeds only" >&2; return; }
    local f base
    for f in "$fixtures"/*.mdb "$fixtures"/access/*.mdb "$fixtures"/access-mdbreader/*.mdb \
             "$fixtures"/access-mdbreader/*.accdb; do
        [ -f "$f" ] || continue
        base=$(basename "$f")
        if [ "$(stat -c %s "$f")" -le 1048576 ]; then cp "$f" "$dir/$base"; fi
        head -c 16384 "$f" > "$dir/$base.head16k"
        head -c 65536 "$f" > "$dir/$base.head64k"
    done
}

summary="$work/summary.txt"
mkdir -p "$work"
: > "$summary"
status=0
for target in "${targets[@]}"; do
    corpus="$work/$target/corpus"
    seeds="$work/$target/seeds"
    mkdir -p "$corpus" "$seeds"
    case $target in
        fuzz_open_file) seed_files "$seeds"; max_len=262144 ;;
        fuzz_sql) cp "$src"/fuzz/corpus/sql/* "$seeds"/; max_len=4096
                  export FUZZ_STORE_MDB=${FUZZ_STORE_MDB:-$fixtures/store.mdb} ;;
        fuzz_parse_number) cp "$src"/fuzz/corpus/parse_number/* "$seeds"/; max_len=512 ;;
    esac
    log="$work/$target/fuzz.log"
    echo "== $target: $seconds s"
    set +e
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
        "$build/fuzz/$target" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len=$max_len -print_final_stats=1 \
        -artifact_prefix="$work/$target/" > "$log" 2>&1
    rc=$?
    set -e
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    verdict=ok
    if [ $rc -ne 0 ]; then
        verdict="FAILED (exit $rc)"
        status=1
        grep -E 'ERROR|runtime error|SUMMARY|Test unit written|fuzz_(sql|parse_number):' "$log" | head -8
    fi
    printf '%-18s %6s s  %10s execs  cov %6s  corpus %5s  %s\n' "$target" "$seconds" "${execs:-?}" \
        "${cov:-?}" "$(ls "$corpus" | wc -l)" "$verdict" | tee -a "$summary"
done
exit $status
