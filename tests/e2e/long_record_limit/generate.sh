# With --max-length=100 Alpha's 100 characters are the most a record may
# have; Beta's 101st character, on one line, stands in its first piece of 101
r() { head -c "$2" /dev/zero | tr '\0' "$1"; }
{
    printf '>Alpha\n'; r a 100; printf '\n'
    printf '>Beta\n'; r c 101; printf '\n'
    printf '>Delta\n'; r g 60; printf '\n'; r t 60; printf '\n'
} >seqs.fasta
