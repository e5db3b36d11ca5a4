# 50 A against 50 C: no column pairs, so the alignment takes exactly 100 columns
{ echo ">a"; printf 'A%.0s' $(seq 50); echo; echo ">b"; printf 'C%.0s' $(seq 50); echo; } > seq.fa
