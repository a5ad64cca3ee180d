#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, FUZZ_JOBS at
# a time (default: one per core), then merges each target's corpus and
# prints one summary line per target.
#
#   fuzz/fuzz_all.sh BUILD_DIR SECONDS [TARGET...]
#
# BUILD_DIR is a build with clang and -DMORVIK_FUZZ=ON. Per target <t>:
#   BUILD_DIR/corpus/<t>    the corpus, kept and merged from run to run
#   BUILD_DIR/findings/<t>  inputs that crashed, hung, ran out of memory or
#                           tripped a sanitizer (crash-*, timeout-*, oom-*, leak-*)
#   BUILD_DIR/logs/<t>.log  libFuzzer's output (<t>.merge.log: the merge's)
# Seeds come from every ELF file of the test data and the examples and from
# the built-in sample program (BUILD_DIR/seeds/<t>). Exit status 1 when any
# target has findings.
set -uo pipefail

build=$(cd "${1:?build folder}" && pwd)
seconds=${2:?seconds per target}
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(convert elf info line loc srec)
jobs=${FUZZ_JOBS:-$(nproc)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

"$build/fuzz/morvik_fuzz_corpus" seeds "$build/seeds" "$root"/tests/data/*.elf "$root"/tests/data/compilers/*.elf \
    "$root"/tests/data/malformed/*.elf "$root"/tests/data/malformed/*.bin "$root"/examples/*.elf >/dev/null || exit 2

run_target() {
    local t=$1
    mkdir -p "$build/corpus/$t" "$build/findings/$t" "$build/logs"
    "$build/fuzz/morvik_fuzz_$t" "$build/corpus/$t" "$build/seeds/$t" -dict="$root/fuzz/dict/$t.dict" \
        -timeout=10 -rss_limit_mb=2048 -entropic_scale_per_exec_time=1 -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t/" >"$build/logs/$t.log" 2>&1
    # Merge: keep only the inputs that add coverage, seeds included.
    rm -rf "$build/corpus/$t.merged"
    mkdir -p "$build/corpus/$t.merged"
    if "$build/fuzz/morvik_fuzz_$t" -merge=1 "$build/corpus/$t.merged" "$build/corpus/$t" "$build/seeds/$t" \
        >"$build/logs/$t.merge.log" 2>&1; then
        rm -rf "$build/corpus/$t"
        mv "$build/corpus/$t.merged" "$build/corpus/$t"
    fi
}

running=0
for t in "${targets[@]}"; do
    [ -x "$build/fuzz/morvik_fuzz_$t" ] || { echo "no fuzz target $t in $build/fuzz" >&2; exit 2; }
    run_target "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

total=0
any_findings=0
printf '%-8s %8s %12s %8s %7s %8s %7s %9s\n' target seconds executions exec/s cov ft corpus findings
for t in "${targets[@]}"; do
    log=$build/logs/$t.log
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corpus=$(find "$build/corpus/$t" -type f | wc -l)
    findings=$(find "$build/findings/$t" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
        -o -name 'leak-*' \) | wc -l)
    [ "$findings" -gt 0 ] && any_findings=1
    total=$((total + ${execs:-0}))
    printf '%-8s %8s %12s %8s %7s %8s %7s %9s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
        "$corpus" "$findings"
done
echo "total executions: $total"
[ "$any_findings" -eq 0 ] || { echo "findings in $build/findings (replay: $build/fuzz/morvik_fuzz_<target>_replay FILE)"; exit 1; }
