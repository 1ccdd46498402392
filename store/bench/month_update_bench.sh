#!/usr/bin/env bash
# month_update_bench.sh: the month ticket UPDATE against rewriting the whole
# store file, measured in the same run on the same disk.
#
#   store/bench/month_update_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
#
# Builds the 100,000-item store with mkstore (once per WORK_DIR, default a
# fresh temporary folder), then RUNS times (default 7) and alternately:
#   - cp of the whole file to a new name followed by sync -d of the copy;
#   - the "Cambiar Estado" UPDATE over March 2024 (about 17,000 tickets) as a
#     whole jetsql process: start, open, lock, journal, page writes, fsyncs.
# Each UPDATE flips the payment status, so every run changes the same rows.
# Prints every run, the medians and their ratio; with strace installed, also
# the fsync/fdatasync calls and bytes written by one UPDATE.
set -euo pipefail

build=${1:-build}
work=${2:-}
runs=${3:-7}
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
mkstore=$build/store/testdata/mkstore
jetsql=$build/jet/jetsql
for tool in "$mkstore" "$jetsql"; do
    [ -x "$tool" ] || { echo "month_update_bench: $tool is missing (build first)" >&2; exit 2; }
done

store=$work/store-big.mdb
if [ ! -f "$store" ]; then
    "$mkstore" big "$store" --items 100000 --tickets 200000 >/dev/null
fi

t='[Cabecera Tickets de Venta]'
update() {
    "$jetsql" "$store" "UPDATE $t SET $t.Documento = '', $t.[Forma de Pago] = '$1'
 WHERE ((($t.Fecha)>=#3/1/2024#) AND (($t.Fecha)<=#3/31/2024#))"
}
now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# Warm the page cache and settle the status so that every timed run changes rows.
cat "$store" >/dev/null
update Pendiente >/dev/null

copies=()
updates=()
status=(Facturado Pendiente)
for ((i = 0; i < runs; i++)); do
    rm -f "$work/copy.mdb"
    sync
    s=$(now)
    cp "$store" "$work/copy.mdb"
    sync -d "$work/copy.mdb"
    e=$(now)
    copies+=("$(elapsed "$s" "$e")")
    rm -f "$work/copy.mdb"
    sync

    s=$(now)
    rows=$(update "${status[i % 2]}")
    e=$(now)
    updates+=("$(elapsed "$s" "$e")")
    printf 'run %d: cp+sync -d %.4f s   UPDATE (%s) %.4f s\n' "$i" "${copies[i]}" "$rows" "${updates[i]}"
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mc=$(median "${copies[@]}")
mu=$(median "${updates[@]}")
size=$(stat -c %s "$store")
printf 'file %d bytes; medians of %d runs: cp+sync -d %.4f s, month UPDATE %.4f s, UPDATE/copy %.2f\n' \
    "$size" "$runs" "$mc" "$mu" "$(echo "$mu / $mc" | bc -l)"

if command -v strace >/dev/null; then
    log=$work/strace.txt
    strace -f -c -o "$log" -e trace=fsync,fdatasync,write,pwrite64,pwritev,unlink \
        "$jetsql" "$store" "UPDATE $t SET $t.[Forma de Pago] = '${status[runs % 2]}'
 WHERE ((($t.Fecha)>=#3/1/2024#) AND (($t.Fecha)<=#3/31/2024#))" >/dev/null
    echo "system calls of one UPDATE (strace -c):"
    grep -E 'fsync|fdatasync|pwrite|unlink|calls' "$log" || true
fi
