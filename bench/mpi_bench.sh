#!/usr/bin/env bash
# Candidates per second over MPI ranks: mpi_bench.sh VORBEX_MPI WORKLOAD_TOOL WORK_DIR [RUNS]
#
# VORBEX_MPI is the tool built with VORBEX_MPI, WORKLOAD_TOOL vorbex_workload.
# Four ways of running, each RUNS times in turns, medians printed:
#   one process held to one processor (--threads=1), one process on every
#   processor (its worker processes), 1 MPI rank of one processor, 2 MPI ranks.
# C9 (2027025 candidates) is measured while it runs: candidates written between
# its 5th and 25th second. C675 runs to its end: 675 over the wall time. S120
# is a heuristic search (--search=heuristic --scoring=sp, 120 sequences under 29
# polytomies, made by search/collapsed_case.py), its whole run in seconds.
# The outputs of every way are compared with the first (but for the elapsed seconds).
set -u
here=$(dirname "$(realpath "$0")")
binary=$(realpath "$1")
workloads=$2
work=$(realpath -m "$3")
runs=${4:-3}
mkdir -p "$work"
"$workloads" "$work" C9 C675 || exit 1
(cd "$work" && /usr/bin/python3 "$here/search/collapsed_case.py" S120 120 350 0.5 2 >/dev/null) || exit 1
MPIRUN=(mpirun --allow-run-as-root -np)

launch() { # way workload [options]
    local way=$1 name=$2
    shift 2
    case $way in
    one_cpu) "$binary" --threads=1 "$@" "$name.fasta" "$name.nwk" "$name.log" ;;
    all_cpus) "$binary" "$@" "$name.fasta" "$name.nwk" "$name.log" ;;
    rank_1) "${MPIRUN[@]}" 1 "$binary" --threads=1 "$@" "$name.fasta" "$name.nwk" "$name.log" ;;
    ranks_2) "${MPIRUN[@]}" 2 "$binary" "$@" "$name.fasta" "$name.nwk" "$name.log" ;;
    esac
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
written() { local n; n=$(grep -c "MA_length=" "$1" 2>/dev/null); echo "${n:-0}"; }

ways=(one_cpu all_cpus rank_1 ranks_2)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq 1 "$runs"); do
    for way in "${ways[@]}"; do
        dir="$work/$way"
        mkdir -p "$dir"
        cp "$work"/C9.* "$work"/C675.* "$work"/S120.* "$dir/"
        # C9: the rate between the 5th and the 25th second
        (cd "$dir" && exec setsid bash -c "$(declare -f launch); binary=$binary; MPIRUN=(${MPIRUN[*]}); launch $way C9" \
            >/dev/null 2>&1) &
        pid=$!
        sleep 5
        first=$(written "$dir/C9.log")
        sleep 20
        last=$(written "$dir/C9.log")
        kill -TERM -- "-$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        echo "$(( (last - first) / 20 ))" >>"$work/C9.$way"
        # C675: the whole run
        start=$(date +%s.%N)
        (cd "$dir" && launch "$way" C675 >C675.out 2>/dev/null)
        end=$(date +%s.%N)
        echo "675 / ($end - $start)" | bc -l >>"$work/C675.$way"
        sed -i -E 's/^Elapsed time: [0-9]+ s$/Elapsed time: N s/' "$dir/C675.out"
        # S120: the whole search
        start=$(date +%s.%N)
        (cd "$dir" && launch "$way" S120 -O0 --search=heuristic --scoring=sp >S120.out 2>/dev/null)
        end=$(date +%s.%N)
        echo "$end - $start" | bc -l >>"$work/S120.$way"
        sed -i -E 's/^Elapsed time: [0-9]+ s$/Elapsed time: N s/' "$dir/S120.out"
        if [ "$way" != one_cpu ]; then
            for case in C675 S120; do
                cmp -s "$dir/$case.log" "$work/one_cpu/$case.log" && cmp -s "$dir/$case.out" "$work/one_cpu/$case.out" ||
                    echo "$case $way: output differs from one_cpu"
            done
        fi
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-10s %16s %16s %10s\n" way "C9 candidates/s" "C675 candidates/s" "S120 s"
for way in "${ways[@]}"; do
    printf "%-10s %16.0f %16.2f %10.1f\n" "$way" "$(median <"$work/C9.$way")" "$(median <"$work/C675.$way")" \
        "$(median <"$work/S120.$way")"
done
