# 1024 A against 1024 C: no column pairs, so the alignment would need 2048 columns
{ echo ">a"; printf 'A%.0s' $(seq 1024); echo; echo ">b"; printf 'C%.0s' $(seq 1024); echo; } > seq.fa
