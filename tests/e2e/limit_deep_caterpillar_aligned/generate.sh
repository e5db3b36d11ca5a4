# A caterpillar of 2048 leaves, 2047 levels deep and filling the table, each
# leaf with a short sequence of its own
awk 'BEGIN {
    tree = "(L0,L1)";
    for (i = 2; i < 2048; ++i) tree = "(" tree ",L" i ")";
    print tree ";" > "tree.nwk";
    split("acgt", b, "");
    for (i = 0; i < 2048; ++i)
        printf ">L%d\nacgt%s%sacgt\n", i, b[i % 4 + 1], b[int(i / 4) % 4 + 1] > "seqs.fasta";
}'
