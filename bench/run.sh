#!/usr/bin/env bash
# Horatik's benchmarks: idle CPU beside xclock (dummy audio and PulseAudio; with its X server),
# instructions per shown second, frame cost,
# start-up, key latency, memory, the zoomed window's present and idle cost.
#
#   bench/run.sh [--build DIR] [--quick] [options of bench/bench.py]
#
# Run from anywhere; paths are taken from the repository root. Builds the target
# horatik-bench (the desktop program, the frame benchmark, the present shim) into
# DIR (default: build) with cmake, then measures. Useful options:
#   --duration S   seconds of each idle run (60)        --repeat N   repetitions (3)
#   --only LIST    some of idle,xserver,instr,frame,startup,latency,zoom
#   --quick        10 s idle runs, fewer repeats
#   --audio LIST   the idle runs' audio: dummy,pulse (both; pulse with a session bus and an armed alarm)
# Exit code 0 whatever the figures are; 1 when something could not be built or run.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=build
quick=()
pass=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --build=*) build=${1#--build=}; shift ;;
        --quick) quick=(--duration 10 --repeat 1 --startups 3 --presses 10 --settle 2); shift ;;
        -h|--help) sed -n '2,13p' "$0"; python3 "$root/bench/bench.py" --help; exit 0 ;;
        *) pass+=("$1"); shift ;;
    esac
done
case "$build" in /*) ;; *) build=$root/$build ;; esac

for tool in cmake python3 Xvfb xclock xwininfo valgrind callgrind_annotate; do
    command -v "$tool" >/dev/null || echo "warning: $tool not found (scripts/deps.sh test installs it)" >&2
done

mkdir -p "$build" || exit 1
cmake -S "$root" -B "$build" -DHORATIK_BENCH=ON >"$build/bench-cmake.log" 2>&1 ||
    { echo "cmake configure failed, see $build/bench-cmake.log" >&2; exit 1; }
cmake --build "$build" -j2 --target horatik-bench >"$build/bench-build.log" 2>&1 ||
    { echo "build failed, see $build/bench-build.log" >&2; exit 1; }
rm -f "$build/bench-cmake.log" "$build/bench-build.log"

# the idle runs a second time on sdl12-compat, unless the system's SDL is that already
compat=$(bash "$root/scripts/sdl12-compat.sh" "$build" 2>/dev/null) || compat=
[ -z "$compat" ] || pass=(--compat "$compat" "${pass[@]}")

exec python3 "$root/bench/bench.py" --build "$build" "${quick[@]}" "${pass[@]}"
