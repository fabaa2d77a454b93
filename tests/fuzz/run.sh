#!/usr/bin/env bash
# Runs every fuzzer for a bounded time on a copy of its seed corpus, as many at a
# time as the machine has cores; any crash, leak, timeout or excess of memory fails.
#   run.sh BUILD_DIR SECONDS
set -uo pipefail
build=${1:?build folder}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fuzz() {
    local target=$1
    mkdir -p "$work/$target"
    cp "$here/corpus/$target"/* "$work/$target"/
    ASAN_OPTIONS=detect_leaks=1 "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$target-" \
        "$work/$target" >"$work/$target.log" 2>&1
    echo $? >"$work/$target.rc"
}
targets=(settings layout background wake)
cores=$(nproc)
for ((i = 0; i < ${#targets[@]}; i += cores)); do
    for target in "${targets[@]:i:cores}"; do
        fuzz "$target" &
    done
    wait
done
failed=0
for target in "${targets[@]}"; do
    rc=$(cat "$work/$target.rc")
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$')
    echo "fuzz_$target: ${runs:-?} runs in ${seconds}s, exit $rc"
    if [ "$rc" -ne 0 ]; then
        tail -n 60 "$work/$target.log"
        failed=1
    fi
done
exit $failed
