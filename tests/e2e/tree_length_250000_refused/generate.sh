# A tree of 250000 kept characters: the tree, then ignored text behind its
# semicolon; tabs and line breaks do not count
{ printf '(A,\t\nB);\r\n'; head -c $(( 250000 - 6 )) /dev/zero | tr '\0' x; printf '\n'; } >tree.nwk
