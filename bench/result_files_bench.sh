#!/usr/bin/env bash
# What the result files cost: the bundled 37-sequence example (135 candidate
# trees) with -O0 alone and with -O0 plus the three result files, run in
# turns, medians of the wall-clock times.
# Usage: result_files_bench.sh VORBEX EXAMPLES_DIR [RUNS]
set -euo pipefail
vorbex=$(realpath "$1")
examples=$(realpath "$2")
runs=${3:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/microbotryum.fasta "$examples"/microbotryum.nwk "$work/"
cd "$work"

seconds() { # command...
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >plain.txt
: >files.txt
for ((i = 0; i < runs; ++i)); do
    seconds "$vorbex" -O0 microbotryum.fasta microbotryum.nwk >>plain.txt
    seconds "$vorbex" -O0 --alignment=best.fa --tree=best.nwk --candidates=c.tsv microbotryum.fasta microbotryum.nwk >>files.txt
done
plain=$(median <plain.txt)
files=$(median <files.txt)
printf 'R: microbotryum, 135 candidates, median of %d runs: -O0 %.3f s, with the three result files %.3f s (%+.1f%%)\n' \
    "$runs" "$plain" "$files" "$(echo "($files / $plain - 1) * 100" | bc -l)"
