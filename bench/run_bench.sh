#!/bin/bash
# Benchmark morvik against readelf on generated Cortex-M firmware.
#
#   bench/run_bench.sh [-n N] [-r RUNS] [-s SEED] [-j JOBS] [-m MORVIK] [-c CACHE]
#
# Generates a firmware tree of 2N units (bench/gen_firmware.py), compiles it
# with arm-none-eabi-gcc -O2 -gdwarf-2 -gstrict-dwarf -mcpu=cortex-m4 -mthumb
# and links two ELF files from it: the first N units and all 2N units.  The
# tree and the objects are kept in the cache directory, so only the first run
# compiles.  Then bench/measure.py times morvik (default, one CPU, -a, -d) and readelf
# --debug-dump=info,decodedline,loc on both files, RUNS times each, and prints
# the report (also saved as CACHE/last_report.txt).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

# About 45 KB of DWARF per unit: N = 250 gives about 11 MB of DWARF for N
# and 22.7 MB for 2N; compiling the 500 units takes about 0.4 s of CPU per
# unit, under two minutes on 2 idle cores.
units=${BENCH_N:-250}
runs=${BENCH_RUNS:-5}
seed=${BENCH_SEED:-2024}
jobs=${BENCH_JOBS:-2}
morvik=${MORVIK:-}
cache=${BENCH_CACHE:-$here/cache}
cc=${BENCH_CC:-arm-none-eabi-gcc}

usage() {
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
    exit "${1:-0}"
}

while [ $# -gt 0 ]; do
    case "$1" in
        -n) units=$2; shift 2 ;;
        -r) runs=$2; shift 2 ;;
        -s) seed=$2; shift 2 ;;
        -j) jobs=$2; shift 2 ;;
        -m) morvik=$2; shift 2 ;;
        -c) cache=$2; shift 2 ;;
        -h|--help) usage 0 ;;
        *) echo "run_bench.sh: unknown argument '$1'" >&2; usage 2 >&2 ;;
    esac
done

case "$units" in ''|*[!0-9]*) echo "run_bench.sh: -n needs a positive number" >&2; exit 2 ;; esac
[ "$units" -ge 1 ] || { echo "run_bench.sh: -n needs a positive number" >&2; exit 2; }

for tool in "$cc" readelf python3 make; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run_bench.sh: '$tool' not found (Debian packages: gcc-arm-none-eabi, binutils, python3, make)" >&2
        exit 2
    fi
done

if [ -z "$morvik" ]; then
    morvik=$root/build-bench/morvik
    echo "== building morvik (Release) in $root/build-bench" >&2
    cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build-bench" -j"$jobs" --target morvik >/dev/null
fi
[ -x "$morvik" ] || { echo "run_bench.sh: morvik binary '$morvik' not found" >&2; exit 2; }

big=$((units * 2))
tree=$cache/fw-n$big-s$seed
mkdir -p "$tree"

echo "== generating $big units (seed $seed) in $tree" >&2
python3 "$here/gen_firmware.py" --units "$big" --links "$units,$big" --seed "$seed" \
    --cc "$cc" --out "$tree"

echo "== compiling with $cc (make -j$jobs; cached after the first run)" >&2
start=$(date +%s)
make -C "$tree" -j"$jobs" --no-print-directory >"$tree/build.log" 2>&1 || {
    tail -30 "$tree/build.log" >&2
    echo "run_bench.sh: the firmware build failed (log: $tree/build.log)" >&2
    exit 1
}
echo "== firmware ready after $(( $(date +%s) - start )) s" >&2

phases=()
[ -n "${BENCH_PHASES:-}" ] && phases=(--phases)
[ -n "${BENCH_BASELINE:-}" ] && phases+=(--baseline "$BENCH_BASELINE")
python3 "$here/measure.py" --morvik "$morvik" --runs "$runs" --work "$cache/work" "${phases[@]}" \
    --report "$cache/last_report.txt" \
    "N=$units=$tree/firmware_$units.elf" "2N=$big=$tree/firmware_$big.elf"
