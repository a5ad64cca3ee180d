#!/usr/bin/env bash
# Seeds for the fuzzer: every fixture, each behind a few option bytes
# (the first input byte chooses -d -a -g -i -f -r -l -m), plus the malformed samples.
set -euo pipefail
out=${1:?seed folder}
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
for f in "$here"/tests/data/*.elf "$here"/examples/*.elf "$here"/tests/data/malformed/*; do
  [ -f "$f" ] || continue
  base=$(basename "$f")
  for opt in 00 01 03 0f ff; do
    { printf "\\x$opt"; cat "$f"; } > "$out/$base.$opt"
  done
done
echo "seeds: $(ls "$out" | wc -l) files in $out"
