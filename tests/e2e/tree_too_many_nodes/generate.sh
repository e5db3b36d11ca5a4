# A chain of 4095 single-child groups around one leaf: 4096 nodes
{ head -c 4095 /dev/zero | tr '\0' '('; printf 'A'; head -c 4095 /dev/zero | tr '\0' ')'; printf ';\n'; } >tree.nwk
