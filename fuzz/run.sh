#!/usr/bin/env bash
# Runs every fuzz target (or those named) for a bounded time each:
#   fuzz/run.sh SECONDS [TARGET...]
# Builds the fuzz preset first. New inputs go to build/fuzz/corpus/<target>
# (kept between runs); the seeds in fuzz/corpus/<target> are only read.
# A finding is written to build/fuzz/findings/ and makes the script fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(tree_reader sequence_reader command_line whole_run)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
status=0
for target in "${targets[@]}"; do
    work="$root/build/fuzz/corpus/$target"
    findings="$root/build/fuzz/findings/$target"
    mkdir -p "$work" "$findings"
    echo "fuzzing $target for $seconds s"
    # -rss_limit_mb: the alignment work storage alone takes some 100 MB
    if ! "$root/build/fuzz/fuzz/${target}_fuzz" "$work" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=1 >"$root/build/fuzz/$target.log" 2>&1; then
        echo "FINDING in $target: see build/fuzz/$target.log and $findings"
        tail -n 40 "$root/build/fuzz/$target.log"
        status=1
    else
        grep -E '^(stat::number_of_executed_units|Done)' "$root/build/fuzz/$target.log" || true
    fi
done
exit $status
