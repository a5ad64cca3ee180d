#!/usr/bin/env bash
# Source-based coverage of the fuzz corpora: builds the replay programs with
# clang's coverage instrumentation, replays every target's corpus and seeds,
# and prints the coverage of each source file of src/ and every function
# that no target reaches.
#
#   fuzz/fuzz_cov.sh COV_BUILD_DIR FUZZ_BUILD_DIR
#
# FUZZ_BUILD_DIR holds the corpora of fuzz_all.sh (corpus/<t>); without them
# the seeds alone are replayed.
set -euo pipefail

cov=${1:?coverage build folder}
fuzz=${2:?fuzz build folder}
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(convert elf info line loc srec)
profdata=${LLVM_PROFDATA:-llvm-profdata}
llvmcov=${LLVM_COV:-llvm-cov}

cmake -S "$root" -B "$cov" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DMORVIK_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
replays=()
for t in "${targets[@]}"; do replays+=("morvik_fuzz_${t}_replay"); done
cmake --build "$cov" -j"${JOBS:-2}" --target morvik_fuzz_corpus "${replays[@]}" >/dev/null

rm -rf "$cov/profiles" "$cov/seeds"
mkdir -p "$cov/profiles"
"$cov/fuzz/morvik_fuzz_corpus" seeds "$cov/seeds" "$root"/tests/data/*.elf "$root"/tests/data/compilers/*.elf \
    "$root"/tests/data/malformed/*.elf "$root"/tests/data/malformed/*.bin "$root"/examples/*.elf >/dev/null
objects=()
for t in "${targets[@]}"; do
    dirs=("$cov/seeds/$t")
    [ -d "$fuzz/corpus/$t" ] && dirs+=("$fuzz/corpus/$t")
    LLVM_PROFILE_FILE="$cov/profiles/$t-%p.profraw" "$cov/fuzz/morvik_fuzz_${t}_replay" "${dirs[@]}" | tail -1
    objects+=(-object "$cov/fuzz/morvik_fuzz_${t}_replay")
done
"$profdata" merge -sparse "$cov"/profiles/*.profraw -o "$cov/fuzz.profdata"

echo
echo "Coverage per source file (all targets):"
"$llvmcov" report "${objects[@]:1}" -instr-profile="$cov/fuzz.profdata" "$root/src"

echo
echo "Functions no target reaches:"
"$llvmcov" export "${objects[@]:1}" -instr-profile="$cov/fuzz.profdata" -skip-expansions "$root/src" \
    >"$cov/coverage.json"
python3 - "$cov/coverage.json" "$root/" <<'PY' | c++filt
import json, sys
data = json.load(open(sys.argv[1]))
root = sys.argv[2]
counts = {}
for export in data["data"]:
    for f in export["functions"]:
        file = f["filenames"][0].replace(root, "")
        if not file.startswith("src/"):
            continue
        name = f["name"].split(":", 1)[1] if ".cpp:" in f["name"] else f["name"]
        line = f["regions"][0][0] if f["regions"] else 0
        key = (file, line, name)
        counts[key] = max(counts.get(key, 0), f["count"])
unreached = sorted(k for k, n in counts.items() if n == 0)
for file, line, name in unreached:
    print(f"{file}:{line}: {name}")
print(f"{len(unreached)} of {len(counts)} functions not reached")
PY
