#!/usr/bin/env bash
# Memory must not grow from candidate to candidate: the peak resident size of
# a run over 11025 candidate trees may pass that of a run over 105 candidates
# (same leaves, same sequences) by a small margin only.
#   candidate_memory.sh BINARY
set -u
binary=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
# Freed memory is handed back at once, so that a sanitizer build measures what the run holds
# Leak detection at exit (sanitizer build) also catches memory that a candidate lost
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=0:detect_leaks=1}

for leaf in a b c d e f g h i j; do
    printf '>%s\nacgt%sacgtac%sgtt\n' "$leaf" "$(printf '%s' "$leaf" | tr 'a-j' 'acgtacgtac')" \
        "$(printf '%s' "$leaf" | tr 'a-j' 'ggccaattgc')"
done >seqs.fasta
printf '((a,b,c,d,e),(f,g,h,i,j));\n' >many.nwk   # 105 x 105 candidates
printf '((a,b,c,d,e),((f,g),(h,(i,j))));\n' >few.nwk # 105 candidates

run() { # tree: its peak resident kilobytes go to tree.rss
    if ! /usr/bin/time -f '%M' -o "$1.rss" "$binary" -o0 seqs.fasta "$1" "$1.log" >"$1.out" 2>"$1.err"; then
        echo "run over $1 failed"
        cat "$1.out" "$1.err" "$1.rss"
        exit 1
    fi
}
run few.nwk
run many.nwk
few=$(tail -n 1 few.nwk.rss)
many=$(tail -n 1 many.nwk.rss)
grep -q '11025 trees to be tried' many.nwk.out || { echo "the large run is not over 11025 candidates"; exit 1; }
grep -q '105 trees to be tried' few.nwk.out || { echo "the small run is not over 105 candidates"; exit 1; }
margin=4096
echo "peak resident size: 105 candidates ${few} kB, 11025 candidates ${many} kB (margin ${margin} kB)"
if [ "$many" -gt $((few + margin)) ]; then
    echo "memory grows from candidate to candidate"
    exit 1
fi
