#!/bin/bash
# Compares every output of two morvik binaries, byte for byte.
#
#   bench/compare_outputs.sh [-k] [-1] OLD NEW [INPUT.elf ...]
#
# Runs both binaries on each input with the option sets
#   (none)  -a  -d  -g  -l  "-i -f -r"  -m
# in scratch folders, as "morvik INPUT OPTIONS" (argv[0] is the same for
# both, so the usage lines agree), and compares the exit code, the console
# text and every file left behind (SYM, LIN, LXX, mot) by SHA-256.
# Without inputs it takes every fixture in tests/data, the example firmware
# and, when they have been built, the benchmark's firmware files in
# bench/cache (or $BENCH_CACHE).
#   -k   keep the scratch folders of differing runs (printed) for a diff
#   -1   also run NEW pinned to one CPU (taskset -c 0) and compare that too
# Exit status: 0 when everything agrees, 1 when something differs.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
keep=0
pinned=0
while [ $# -gt 0 ]; do
    case "$1" in
        -k) keep=1; shift ;;
        -1) pinned=1; shift ;;
        *) break ;;
    esac
done
[ $# -ge 2 ] || { sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
old=$(readlink -f "$1")
new=$(readlink -f "$2")
shift 2

inputs=("$@")
if [ ${#inputs[@]} -eq 0 ]; then
    inputs=("$root"/tests/data/*.elf "$root"/examples/firmware.elf)
    cache=${BENCH_CACHE:-$root/bench/cache}
    for f in "$cache"/fw-*/firmware_*.elf; do [ -f "$f" ] && inputs+=("$f"); done
fi

option_sets=("" "-a" "-d" "-g" "-l" "-i -f -r" "-m")
scratch=$(mktemp -d)
trap '[ $keep = 1 ] || rm -rf "$scratch"' EXIT

# Runs one binary on one input with one option set in folder $4 and prints a
# digest: exit code, then "name sha256" of the console text and of each file.
run_one() {
    local bin=$1 input=$2 opts=$3 dir=$4 prefix=${5:-}
    mkdir -p "$dir"
    cp "$input" "$dir/in.elf"
    # shellcheck disable=SC2086
    (cd "$dir" && $prefix bash -c 'exec -a morvik "$0" "$@"' "$bin" in.elf $opts >console.txt 2>&1; echo "exit $?" >exit.txt)
    rm -f "$dir/in.elf"
    (cd "$dir" && for f in $(ls | sort); do echo "$f $(sha256sum <"$f" | cut -c1-64)"; done)
}

differ=0
runs=0
for input in "${inputs[@]}"; do
    [ -f "$input" ] || { echo "missing input: $input"; differ=1; continue; }
    for opts in "${option_sets[@]}"; do
        runs=$((runs + 1))
        a=$(run_one "$old" "$input" "$opts" "$scratch/$runs/old")
        b=$(run_one "$new" "$input" "$opts" "$scratch/$runs/new")
        if [ "$a" != "$b" ]; then
            differ=1
            echo "DIFFERS: $input [$opts]  ($scratch/$runs)"
            diff <(echo "$a") <(echo "$b") | sed 's/^/    /'
        elif [ $keep = 0 ]; then
            rm -rf "$scratch/$runs"
        fi
        if [ $pinned = 1 ]; then
            c=$(run_one "$new" "$input" "$opts" "$scratch/$runs/pinned" "taskset -c 0")
            if [ "$a" != "$c" ]; then
                differ=1
                echo "DIFFERS (one CPU): $input [$opts]  ($scratch/$runs)"
                diff <(echo "$a") <(echo "$c") | sed 's/^/    /'
            fi
            [ $keep = 1 ] || rm -rf "$scratch/$runs/pinned"
        fi
    done
done
if [ $differ = 0 ]; then
    echo "all $runs runs agree (${#inputs[@]} inputs x ${#option_sets[@]} option sets)"
else
    [ $keep = 1 ] && echo "scratch folders kept under $scratch"
fi
exit $differ
