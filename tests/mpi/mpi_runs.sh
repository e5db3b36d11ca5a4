#!/usr/bin/env bash
# An MPI run of 3 ranks writes what one process writes: mpi_runs.sh BINARY EXAMPLES
#
# BINARY is built with VORBEX_MPI. Each case runs it once alone (as the normal
# build would run) and once under mpirun -np 3, each in a folder of its own
# under the same names, and compares standard output (the seconds of the
# elapsed time masked), the exit status, the report and every result file.
# Then a rank is killed in the middle of a run: the run must end nonzero,
# say at which candidate, and leave no report that looks complete, nor any
# result file.
set -u
binary=$(realpath "$1")
examples=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
MPIRUN=(mpirun --allow-run-as-root --oversubscribe -np 3)

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run_in FOLDER LAUNCHER... -- ARGUMENTS...: the run's stdout and status in FOLDER
run_in() {
    local folder=$1
    shift
    local launcher=()
    while [ "$1" != "--" ]; do
        launcher+=("$1")
        shift
    done
    shift
    (cd "$folder" && PATH="$(dirname "$binary"):$PATH" "${launcher[@]}" vorbex "$@" >stdout.txt 2>stderr.txt
     echo $? >status.txt)
    sed -i -E 's/^Elapsed time: [0-9]+ s$/Elapsed time: N s/' "$folder/stdout.txt"
}

# same_as_one_process NAME INPUT_FOLDER ARGUMENTS...
same_as_one_process() {
    local name=$1 inputs=$2
    shift 2
    for how in one mpi; do
        mkdir -p "$scratch/$name/$how"
        cp "$inputs"/* "$scratch/$name/$how/"
    done
    run_in "$scratch/$name/one" -- "$@"
    run_in "$scratch/$name/mpi" "${MPIRUN[@]}" -- "$@"
    rm -f "$scratch/$name"/*/stderr.txt
    if ! diff -r "$scratch/$name/one" "$scratch/$name/mpi" >"$scratch/$name.diff"; then
        fail "$name: the MPI run differs from one process"
        head -40 "$scratch/$name.diff"
    fi
    echo "$name: status $(cat "$scratch/$name/one/status.txt"), $(ls "$scratch/$name/one" | wc -l) files compared"
}

# Inputs, written by python3 from fixed seeds
mkdir -p "$scratch/in/nested" "$scratch/in/early" "$scratch/in/late" "$scratch/in/long"
python3 - "$scratch/in" <<'PY'
import random, sys
base = sys.argv[1]
def related(names, length, seed, changes):
    rng = random.Random(seed)
    root = [rng.choice("acgt") for _ in range(length)]
    text = ""
    for name in names:
        s = list(root)
        for _ in range(changes):
            s[rng.randrange(len(s))] = rng.choice("acgt")
        if rng.random() < 0.5:
            del s[rng.randrange(len(s))]
        text += ">%s\n%s\n" % (name, "".join(s))
    return text
# A polytomy of order 4 with one of order 3 among its children, under a root of order 3: 2025 candidates
names = "abcdefghijk"
open(base + "/nested/seq.fa", "w").write(related(names, 120, 14, 12))
open(base + "/nested/tree.nwk", "w").write("((a,b,(c,d,e),f),g,(h,i,j,k));\n")
# a with b needs 2048 columns; a with c first, then b, fits
big = ">a\n" + "A" * 1024 + "\n>b\n" + "C" * 1024 + "\n>c\n" + "A" * 600 + "C" * 600 + "\n"
open(base + "/early/seq.fa", "w").write(big + related("def", 8, 3, 2))
open(base + "/early/tree.nwk", "w").write("((a,b,c),(d,e,f));\n")  # candidate 2 overflows
open(base + "/late/seq.fa", "w").write(big + related("defgh", 8, 3, 2))
open(base + "/late/tree.nwk", "w").write("((d,e,f,g,h),(a,b,c));\n")  # candidates 1 to 105 fit, 106 overflows
# Enough work to kill a rank in the middle: 10395 candidates
open(base + "/long/seq.fa", "w").write(related("abcdefg", 400, 7, 40))
open(base + "/long/tree.nwk", "w").write("(a,b,c,d,e,f,g);\n")
PY
mkdir -p "$scratch/in/examples"
cp "$examples"/betaglobin.* "$examples"/microbotryum.* "$scratch/in/examples/"

for mask in 0 40 63; do
    same_as_one_process "betaglobin_mask_$mask" "$scratch/in/examples" -O$mask betaglobin.fasta betaglobin.nwk \
        --alignment=best.fa --tree=best.nwk --candidates=all.tsv
done
same_as_one_process microbotryum "$scratch/in/examples" microbotryum.fasta microbotryum.nwk --alignment=best.aln \
    --alignment-format=clustal --order=tree
same_as_one_process nested_polytomies "$scratch/in/nested" -O56 seq.fa tree.nwk --tree=best.nwk
same_as_one_process refined "$scratch/in/nested" --scoring=sp --refine=2 seq.fa tree.nwk --alignment=best.sto \
    --alignment-format=stockholm
same_as_one_process heuristic "$scratch/in/examples" --search=heuristic --scoring=sp microbotryum.fasta \
    microbotryum.nwk --candidates=all.tsv
same_as_one_process star_tree "$scratch/in/examples" --star-tree -O0 betaglobin.fasta star.log --tree=best.nwk
# Search steps shared among the ranks: whole texts, and candidates that overflow in the first rank's share and a follower's
same_as_one_process heuristic_nested "$scratch/in/nested" --search=heuristic -O56 seq.fa tree.nwk --tree=best.nwk \
    --candidates=all.tsv
same_as_one_process heuristic_refined "$scratch/in/nested" --search=heuristic --scoring=sp --refine=1 seq.fa tree.nwk \
    --alignment=best.fa
same_as_one_process heuristic_overflow "$scratch/in/late" --star-tree -O16 seq.fa --alignment=best.fa
same_as_one_process overflow_early "$scratch/in/early" seq.fa tree.nwk --alignment=best.fa
same_as_one_process overflow_late "$scratch/in/late" -O16 seq.fa tree.nwk --alignment=best.fa
# Start-up errors are written once, with the one process's status
same_as_one_process missing_tree "$scratch/in/nested" seq.fa absent.nwk
same_as_one_process bad_option "$scratch/in/nested" -Q seq.fa tree.nwk
# The first rank's progress line (forwarded by mpirun) counts every rank's candidates
progress="$scratch/progress"
mkdir -p "$progress"
cp "$scratch/in/nested"/* "$progress/"
run_in "$progress" "${MPIRUN[@]}" -- --progress=always seq.fa tree.nwk
grep -q "Candidate trees 2025/2025" "$progress/stderr.txt" || fail "progress: no line with every candidate"
[ "$(grep -o "Candidate trees 1/" "$progress/stderr.txt" | wc -l)" = 1 ] || fail "progress: not the first rank's alone"
for case in overflow_early overflow_late heuristic_overflow; do
    grep -q "ERROR: MAXSEQLEN overflow" "$scratch/$case/mpi/stdout.txt" || fail "$case: no overflow"
done
grep -q "#106: MA_length" "$scratch/overflow_late/mpi/seq.log" && fail "overflow_late: candidate 106 has a summary"
grep -q "#105: MA_length" "$scratch/overflow_late/mpi/seq.log" || fail "overflow_late: candidate 105 is missing"

# A rank killed in the middle of the run
killed="$scratch/killed"
mkdir -p "$killed"
cp "$scratch/in/long"/* "$killed/"
(cd "$killed" && exec "${MPIRUN[@]}" "$binary" seq.fa tree.nwk --alignment=best.fa >stdout.txt 2>stderr.txt) &
launcher=$!
victim=""
for _ in $(seq 1 600); do
    if [ -z "$victim" ]; then
        for pid in $(pgrep -f "^$binary seq.fa tree.nwk"); do
            if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "OMPI_COMM_WORLD_RANK=1"; then
                victim=$pid
            fi
        done
    fi
    written=$(grep -c "MA_length" "$killed/seq.log" 2>/dev/null)
    if [ -n "$victim" ] && [ "${written:-0}" -ge 20 ]; then
        break
    fi
    sleep 0.1
done
if [ -z "$victim" ]; then
    fail "killed rank: rank 1 not found"
    kill "$launcher"
else
    kill -KILL "$victim"
fi
wait "$launcher"
status=$?
[ "$status" -ne 0 ] || fail "killed rank: the run ended with status 0"
# The report always says where the run stopped, as a failed worker's run does;
# the terminal has it too unless mpirun has gone first, and then mpirun's own
# notice of the killed rank
grep -q "ERROR: MPI rank failed at candidate tree #[0-9]" "$killed/stdout.txt" ||
    grep -q "process rank 1 .* exited on signal 9" "$killed/stderr.txt" ||
    fail "killed rank: neither the message on standard output nor mpirun's notice"
tail -3 "$killed/seq.log" | tr '\n' '|' | grep -Eq \
    "^ERROR: MPI rank failed at candidate tree #[0-9]+\|Result files not written: the run failed\|RC=32 \( ERINT \)\|$" ||
    fail "killed rank: the report does not end with the message and the result report"
grep -q "Best multiple alignment" "$killed/seq.log" && fail "killed rank: the report looks complete"
ls "$killed" | grep -q "best.fa" && fail "killed rank: a result file was left"
echo "killed rank: status $status, $(grep -o "ERROR: MPI rank failed.*" "$killed/seq.log")"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "every MPI run as one process's"
