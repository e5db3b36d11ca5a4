# Two records of 400,000 bases: their trace matrix would take 160 GB, more
# than the machine has, so the run ends before the alignment is tried
r() { head -c "$2" /dev/zero | tr '\0' "$1"; }
{ echo ">a"; r a 400000; echo; echo ">b"; r c 400000; echo; } > seq.fa
