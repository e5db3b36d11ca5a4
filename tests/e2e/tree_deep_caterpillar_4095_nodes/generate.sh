# 2047 nested groups and 2048 leaves: the whole node table, 2046 levels deep
{ head -c 2047 /dev/zero | tr '\0' '('; printf 'L0'; for i in $(seq 1 2047); do printf ',L%d)' "$i"; done; printf ';\n'; } >tree.nwk
