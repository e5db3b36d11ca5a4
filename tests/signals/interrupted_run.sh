#!/usr/bin/env bash
# An interrupted run leaves neither a result file nor its temporary file.
# Usage: interrupted_run.sh VORBEX EXAMPLES_DIR
set -u
vorbex=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$2"/microbotryum.fasta "$2"/microbotryum.nwk "$work/"
cd "$work"
for signal in INT TERM; do
    "$vorbex" --alignment=best.fa --candidates=c.tsv -O0 microbotryum.fasta microbotryum.nwk >/dev/null &
    run=$!
    # Interrupt once the temporary files stand, well before the run can end
    for _ in $(seq 200); do
        compgen -G 'c.tsv.vorbex-*' >/dev/null && break
        sleep 0.01
    done
    kill -"$signal" "$run"
    wait "$run"
    status=$?
    left=$(ls | grep -v '^microbotryum\.' || true)
    if [ "$status" -lt 128 ] || [ -n "$left" ]; then
        echo "SIG$signal: status $status, files left: ${left:-none}"
        exit 1
    fi
done
echo "interrupted runs left nothing behind"
