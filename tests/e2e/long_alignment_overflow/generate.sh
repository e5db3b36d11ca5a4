# 50 A against 51 C: the alignment would need 101 columns
{ echo ">a"; printf 'A%.0s' $(seq 50); echo; echo ">b"; printf 'C%.0s' $(seq 51); echo; } > seq.fa
