#!/usr/bin/env bash
# Builds everything and runs every test: unit and end-to-end tests on the system's
# SDL 1.2 and again on sdl12-compat (the SDL 1.2 API over SDL2), the host release's
# and the newest; the unit tests again cross-built for 32-bit ARM under qemu
# (scripts/arm.sh) and with AddressSanitizer and UndefinedBehaviorSanitizer; the
# unit and end-to-end tests on sdl12-compat over sdl2-compat over SDL3, under X and
# natively on Wayland, in a Debian 13 root (scripts/sdl3.sh); then each fuzzer for
# a while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# every process this run starts carries this mark; none may outlive the run
export HX_RUN_MARK="test.sh-$$-$(date +%s%N)"
jobs=$(nproc)
fuzzseconds=${HX_FUZZ_SECONDS:-45}

step() { printf '\n=== %s\n' "$*"; }
skipped=

# The roots of the ARM and the SDL3 passes are made while the release build runs,
# mostly downloading and unpacking; the tests, which keep real time, wait for them.
mkdir -p build
bash scripts/arm.sh --prepare >build/arm-prepare.log 2>&1 &
armprep=$!
bash scripts/sdl3.sh --prepare build >build/sdl3-prepare.log 2>&1 &
sdl3prep=$!

step "release build and all tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHORATIK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
# a root that failed is tried again, and said why, by its pass
wait $armprep || true
wait $sdl3prep || true
ctest --test-dir build --output-on-failure -j"$jobs"

# sdl12-compat as the host release has it, and the newest one (unstable's); building
# and linting the package does not meet SDL: once is enough
compatrelease=
for which in release newest; do
    step "unit and end-to-end tests on sdl12-compat ($which)"
    code=0
    compat=$(bash scripts/sdl12-compat.sh build "$which") || code=$?
    [ $code -eq 0 ] || [ $code -eq 77 ] || exit $code
    # the newest once more where it differs from the release's: not installing, nor
    # settings files that cannot be written or read, nor the session bus, where
    # the SDL2 beneath is the same
    leave='^e2e\.Install\.DebianPackage$'
    [ "$which" = newest ] && leave='^e2e\.(Install|Faults|BadInput|Awake)\.'
    [ "$which" = release ] && compatrelease=$compat
    if [ -n "$compat" ]; then
        LD_LIBRARY_PATH=$compat ctest --test-dir build --output-on-failure -j"$jobs" -L 'unit|e2e' -E "$leave"
    elif [ $code -eq 77 ]; then
        skipped="$skipped (but not on the newest sdl12-compat: see above)"
    else
        echo "The programs run on this sdl12-compat already: the tests above ran on it."
    fi
done

step "unit tests on 32-bit ARM under qemu"
cat build/arm-prepare.log
bash scripts/arm.sh || { code=$?; [ $code -eq 77 ] || exit $code; skipped="$skipped (but not on ARM: see above)"; }

step "unit tests with sanitizers"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DHORATIK_SANITIZE=ON -DHORATIK_BENCH=OFF -DHORATIK_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit

step "the desktop program with ThreadSanitizer: a whole ring, a quit mid-ring, a hung sound server, every way out"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHORATIK_TSAN=ON -DHORATIK_TESTS=OFF -DHORATIK_BENCH=OFF \
    -DHORATIK_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target horatik-desktop horatik-gp2x
# a report goes to the program's standard error, which these cases want empty
tsan() {  # tsan [the folder of an sdl12-compat]
    env ${1:+LD_LIBRARY_PATH=$1} HX_RUNDIR="$PWD/build-tsan/run" \
        TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:atexit_sleep_ms=0" \
        ctest --test-dir build --output-on-failure -j"$jobs" \
        -R '^e2e\.(Desktop\.(AlarmSetArmedAndRingsAtSecondZero|AHungSoundServerStopsOnlyTheSound)|Faults\.EveryWayOutWhileTheSoundServerHangs)$'
}
tsan
[ -z "$compatrelease" ] || tsan "$compatrelease"

step "unit and end-to-end tests on SDL3 (the newest sdl12-compat over sdl2-compat), X11 and Wayland"
cat build/sdl3-prepare.log
bash scripts/sdl3.sh build build-asan ||
    { code=$?; [ $code -eq 77 ] || exit $code; skipped="$skipped (but not on SDL3: see above)"; }

step "fuzzing, ${fuzzseconds} s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DHORATIK_FUZZ=ON -DHORATIK_TESTS=OFF -DHORATIK_WERROR=ON \
    -DHORATIK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
bash tests/fuzz/run.sh build-fuzz "$fuzzseconds"

step "the Quick start's run command, ended by a timeout and by its clock's own end"
env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 bash scripts/run.sh >build/run-timeout.log 2>&1 || true
env -u DISPLAY -u WAYLAND_DISPLAY setsid bash scripts/run.sh >build/run-end.log 2>&1 &
runner=$!
for _ in $(seq 200); do clock=$(pgrep -P $runner -x horatik-desktop) && break; sleep 0.1; done
sleep 2
kill -TERM ${clock:?the clock of scripts/run.sh did not start}
wait $runner || true
cat build/run-timeout.log build/run-end.log | grep -v '^\[' || true

step "nothing this run started is still running"
env -u HX_RUN_MARK bash scripts/leftovers.sh "$HX_RUN_MARK" $$

step "all tests passed$skipped"
