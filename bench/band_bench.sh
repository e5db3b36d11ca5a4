#!/usr/bin/env bash
# What the proven bands save: every workload on one processor, the tool
# against the same build filling whole matrices, in turns, medians of the
# wall-clock times, peak memory, and the share of the whole matrices' cells
# the tool computed (bands included) with the share in bands.
# Usage: band_bench.sh BENCH_BUILD_DIR WORK_DIR [RUNS] [WORKLOAD...]
set -euo pipefail
build=$(realpath "$1")
work=$(realpath "$2")
runs=${3:-5}
shift $(($# < 3 ? $# : 3))
workloads=("$@")
[ ${#workloads[@]} -gt 0 ] || workloads=(W1 W2 W3 W4 W4B W5 L1 L2)
"$build/bench/vorbex_workload" "$work" "${workloads[@]}" >/dev/null
cd "$work"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
options() { # workload
    case "$1" in
    L1) echo --threads=1 --max-length=20000 ;;
    L2) echo --threads=1 --max-length=35000 ;;
    *) echo --threads=1 ;;
    esac
}
run() { # name workload command... -> "seconds kilobytes"
    local name=$1 w=$2
    shift 2
    /usr/bin/time -f "%e %M" -o time.txt taskset -c 0 "$@" $(options "$w") "$w.fasta" "$w.nwk" "${w}_band.log" >"${w}_$name.out"
    cat time.txt
}

printf '%-5s %12s %10s %7s %14s %12s %18s\n' run "whole s" "band s" ratio "whole MiB" "band MiB" "cells (in bands)"
for w in "${workloads[@]}"; do
    : >whole.txt
    : >band.txt
    for ((i = 0; i < runs; ++i)); do
        run whole "$w" "$build/bench/vorbex_variant" whole-matrix >>whole.txt
        run band "$w" "$build/vorbex" >>band.txt
    done
    if ! diff -q <(grep -v Elapsed "${w}_whole.out") <(grep -v Elapsed "${w}_band.out") >/dev/null; then
        echo "$w: the outputs differ" >&2
        exit 1
    fi
    cells=$("$build/bench/vorbex_variant" cells $(options "$w") "$w.fasta" "$w.nwk" "${w}_band.log" 2>&1 >/dev/null |
        sed -n 's/.*: \([0-9.]*%\) (\([0-9.]*%\) in bands)/\1 (\2)/p')
    whole=$(cut -d' ' -f1 whole.txt | median)
    band=$(cut -d' ' -f1 band.txt | median)
    printf '%-5s %12.3f %10.3f %7.2f %14.1f %12.1f %18s\n' "$w" "$whole" "$band" "$(echo "$whole / $band" | bc -l)" \
        "$(cut -d' ' -f2 whole.txt | sort -n | tail -1 | awk '{ print $1 / 1024 }')" \
        "$(cut -d' ' -f2 band.txt | sort -n | tail -1 | awk '{ print $1 / 1024 }')" "$cells"
done
