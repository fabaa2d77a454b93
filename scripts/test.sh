#!/usr/bin/env bash
# Builds everything and runs every test: unit and end-to-end tests on the system's
# SDL 1.2 and again on sdl12-compat (the SDL 1.2 API over SDL2), the unit tests
# again cross-built for 32-bit ARM under qemu (scripts/arm.sh) and with
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer for a while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)
fuzzseconds=${HX_FUZZ_SECONDS:-45}

step() { printf '\n=== %s\n' "$*"; }

step "release build and all tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DHORATIK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

step "unit and end-to-end tests on sdl12-compat"
compat=$(bash scripts/sdl12-compat.sh build)
if [ -n "$compat" ]; then
    # building and linting the package does not meet SDL: once is enough
    LD_LIBRARY_PATH=$compat ctest --test-dir build --output-on-failure -j"$jobs" -L 'unit|e2e' \
        -E '^e2e\.Install\.DebianPackage$'
else
    echo "The programs run on sdl12-compat already: the tests above ran on it."
fi

step "unit tests on 32-bit ARM under qemu"
skipped=
bash scripts/arm.sh || { code=$?; [ $code -eq 77 ] || exit $code; skipped=" (but not on ARM: see above)"; }

step "unit tests with sanitizers"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DHORATIK_SANITIZE=ON -DHORATIK_BENCH=OFF -DHORATIK_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit

step "fuzzing, ${fuzzseconds} s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DHORATIK_FUZZ=ON -DHORATIK_TESTS=OFF -DHORATIK_WERROR=ON \
    -DHORATIK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
bash tests/fuzz/run.sh build-fuzz "$fuzzseconds"

step "all tests passed$skipped"
