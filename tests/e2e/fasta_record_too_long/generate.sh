# Alpha holds 2047 characters, the most a record may have; Beta's 2048th
# character stands in line 5, and a fault behind it is still reported
r() { head -c "$2" /dev/zero | tr '\0' "$1"; }
{
    printf '>Alpha\n'; r a 2047; printf '\n'
    printf '>Beta\n'; r c 2000; printf '\n'; r g 100; printf '\n'; r t 100; printf '\nz\n'
    printf '>Delta\nac\n'
} >seqs.fasta
