# 2100 related sequences on a balanced binary tree: 4199 nodes, past the
# default table of 4095
awk 'BEGIN {
    n = 2100; base = "acgtacggtcatgcattgcaagtcgatcgt"
    split("a c g t", letters, " ")
    for (i = 1; i <= n; ++i) {
        s = base
        p = (i * 7) % 30 + 1; q = (i * 13) % 29 + 1
        s = substr(s, 1, p - 1) letters[i % 4 + 1] substr(s, p + 1)
        if (i % 3 == 0) s = substr(s, 1, q - 1) substr(s, q + 1)
        printf(">s%04d\n%s\n", i, s) > "seqs.fasta"
    }
    printf("%s;\n", tree(1, n)) > "tree.nwk"
}
function tree(lo, hi,   mid) {
    if (lo == hi) return sprintf("s%04d", lo)
    mid = int((lo + hi) / 2)
    return "(" tree(lo, mid) "," tree(mid + 1, hi) ")"
}'
