# Header and comment lines longer than one read are read whole and count as
# one line; sequence lines are read in pieces of 2048 characters, each a line
r() { head -c "$2" /dev/zero | tr '\0' "$1"; }
{
    printf ';'; r c 5000; printf '\n'               # line 1
    printf '>Beta|'; r a 5000; printf '\nacg\n'     # lines 2, 3
    printf '>'; r n 3000; printf '\nxx\n'           # lines 4, 5: unknown name cut to 255
    printf '>Alpha\n'; r - 2000; r c 80; printf 'x\n' # lines 6, 7, 8: x at 33 of line 8
    r = 2048; printf '>ac\n'                        # lines 9, 10: '>' at 1 of line 10
} >seqs.fasta
