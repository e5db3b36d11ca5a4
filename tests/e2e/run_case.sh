#!/usr/bin/env bash
# Runs one golden case: run_case.sh BINARY CASE_DIR
#
# A case folder holds args.txt (one argument per line), its input files, an
# optional generate.sh that writes further inputs into the run folder, and
# expected/ with stdout.txt, exit_code.txt and every file the run must write
# or change.
# The run happens in a fresh folder; standard output, the exit status and each
# written file are compared byte for byte, only the seconds of
# "Elapsed time: N s" being masked. No other file may appear, none may vanish.
# VORBEX_UPDATE_GOLDEN=1 rewrites expected/ from the run instead (review the diff).
set -u
binary=$(realpath "$1")
case_dir=$(realpath "$2")
expected="$case_dir/expected"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run="$scratch/run"
mkdir -p "$run" "$scratch/out"

for input in "$case_dir"/*; do
    case "$(basename "$input")" in
    args.txt | generate.sh | expected | README*) ;;
    *) cp -r "$input" "$run/" ;;
    esac
done
if [ -f "$case_dir/generate.sh" ]; then
    (cd "$run" && bash "$case_dir/generate.sh") || { echo "generate.sh failed"; exit 1; }
fi
(cd "$run" && find . -mindepth 1 | sort) >"$scratch/inputs.txt"

mapfile -t arguments <"$case_dir/args.txt"
# Run under the plain name "vorbex", as the report echoes the program's path
(cd "$run" && PATH="$(dirname "$binary"):$PATH" vorbex "${arguments[@]}" >"$scratch/out/stdout.txt" 2>"$scratch/out/stderr.txt")
echo $? >"$scratch/out/exit_code.txt"
sed -i -E 's/^Elapsed time: [0-9]+ s$/Elapsed time: N s/' "$scratch/out/stdout.txt"
(cd "$run" && find . -mindepth 1 | sort) >"$scratch/after.txt"
mapfile -t written < <(comm -13 "$scratch/inputs.txt" "$scratch/after.txt" | sed 's|^\./||')
mapfile -t removed < <(comm -23 "$scratch/inputs.txt" "$scratch/after.txt" | sed 's|^\./||')

# Inputs the run changed count as written (an appended report, for instance)
for input in "$case_dir"/*; do
    name=$(basename "$input")
    [ -f "$input" ] && [ -f "$run/$name" ] && ! cmp -s "$input" "$run/$name" && written+=("$name")
done

if [ "${VORBEX_UPDATE_GOLDEN:-0}" = 1 ]; then
    rm -rf "$expected"
    mkdir -p "$expected"
    cp "$scratch/out/stdout.txt" "$scratch/out/exit_code.txt" "$expected/"
    for file in "${written[@]}"; do cp "$run/$file" "$expected/"; done
    echo "rewrote $expected"
    exit 0
fi

failed=0
compare() { # expected actual label
    if ! cmp -s "$1" "$2"; then
        echo "--- $3 differs (expected, actual):"
        diff -u --text "$1" "$2" | head -n 80
        failed=1
    fi
}
# Nothing goes to standard error: not the progress line, nor a sanitizer's report
if [ -s "$scratch/out/stderr.txt" ]; then
    echo "--- standard error is not empty:"
    head -n 20 "$scratch/out/stderr.txt"
    failed=1
fi
compare "$expected/stdout.txt" "$scratch/out/stdout.txt" "standard output"
compare "$expected/exit_code.txt" "$scratch/out/exit_code.txt" "exit status"
for file in "$expected"/*; do
    name=$(basename "$file")
    case "$name" in stdout.txt | exit_code.txt) continue ;; esac
    if [ -f "$run/$name" ]; then
        compare "$file" "$run/$name" "file $name"
    else
        echo "--- file $name was not written"
        failed=1
    fi
done
for file in "${removed[@]}"; do
    echo "--- input removed: $file"
    failed=1
done
for file in "${written[@]}"; do
    if [ ! -f "$expected/$file" ]; then
        echo "--- unexpected file written: $file"
        failed=1
    fi
done
exit $failed
