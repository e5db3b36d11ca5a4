# Two leaves inside 4092 nested groups of one child each: 4095 nodes with the root, all but
# the two leaves and their parent pruned away
awk 'BEGIN {
    for (i = 0; i < 4092; ++i) printf "(";
    printf "(A,B)";
    for (i = 0; i < 4092; ++i) printf ")";
    print ";";
}' > tree.nwk
