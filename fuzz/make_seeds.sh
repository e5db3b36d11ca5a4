#!/usr/bin/env bash
# Rebuilds the seed corpus from the golden cases' inputs and the examples:
# fuzz/make_seeds.sh (run from anywhere; writes fuzz/corpus/<target>/seed_*).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/fuzz/corpus"
mkdir -p "$corpus"/{tree_reader,sequence_reader,command_line,whole_run}
rm -f "$corpus"/*/seed_*
for dir in "$root"/tests/e2e/*/ "$root"/examples/; do
    name=$(basename "$dir")
    tree=$(find "$dir" -maxdepth 1 -name '*.nwk' | sort | head -n 1)
    fasta=$(find "$dir" -maxdepth 1 -name '*.fasta' | sort | head -n 1)
    [ -n "$tree" ] && cp "$tree" "$corpus/tree_reader/seed_$name"
    [ -n "$fasta" ] && cp "$fasta" "$corpus/sequence_reader/seed_$name"
    [ -f "$dir/args.txt" ] && cp "$dir/args.txt" "$corpus/command_line/seed_$name"
    # One byte of options, the tree, a byte 0x01, the sequences
    if [ -n "$tree" ] && [ -n "$fasta" ]; then
        { printf '\x28'; cat "$tree"; printf '\x01'; cat "$fasta"; } >"$corpus/whole_run/seed_$name"
    fi
done
