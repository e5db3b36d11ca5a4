#!/usr/bin/env bash
# The progress line appears on a terminal's standard error, and only there.
# progress_line.sh BINARY EXAMPLE_DIR
set -u
binary=$(realpath "$1")
case_dir=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$case_dir/seq.fa" "$case_dir/tree.nwk" "$scratch/"
cd "$scratch"
failed=0

# Under a pseudo-terminal: the line shows the count out of the trees to try and is erased
script -qec "\"$binary\" seq.fa tree.nwk tty.log" /dev/null >typescript.txt
if ! grep -q "Candidate trees 1/45" typescript.txt; then
    echo "no progress line on a terminal:"; cat -A typescript.txt | head -20; failed=1
fi
if ! tail -c 200 typescript.txt | grep -q "Elapsed time"; then
    echo "the run did not finish under the terminal"; failed=1
fi

# Not a terminal: standard error stays empty and the outputs equal the terminal run's
"$binary" seq.fa tree.nwk plain.log >stdout.txt 2>stderr.txt
if [ -s stderr.txt ]; then
    echo "standard error is not empty without a terminal:"; cat stderr.txt; failed=1
fi
if ! cmp -s tty.log plain.log; then
    echo "the report differs between the terminal and the plain run"; failed=1
fi
if grep -q "Candidate trees" stdout.txt plain.log; then
    echo "the progress line reached standard output or the report"; failed=1
fi

# --progress=always writes it on a pipe too, first and last candidate included;
# --progress=never keeps a terminal clean
"$binary" --progress=always seq.fa tree.nwk always.log >/dev/null 2>always.txt
if ! grep -q "Candidate trees 1/45" always.txt || ! grep -q "Candidate trees 45/45" always.txt; then
    echo "--progress=always wrote no full progress line:"; cat -A always.txt | head -5; failed=1
fi
script -qec "\"$binary\" --progress=never seq.fa tree.nwk never.log" /dev/null >never.txt
if grep -q "Candidate trees" never.txt; then
    echo "--progress=never still shows the line"; failed=1
fi
if ! cmp -s tty.log always.log || ! cmp -s tty.log never.log; then
    echo "the report depends on --progress"; failed=1
fi
exit $failed
