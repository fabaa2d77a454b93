#!/usr/bin/env bash
# Builds everything and runs every test: unit and end-to-end tests, the unit
# tests again cross-built for 32-bit ARM under qemu (scripts/arm.sh) and with
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer for a while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)
fuzzseconds=${HX_FUZZ_SECONDS:-45}

step() { printf '\n=== %s\n' "$*"; }

step "build and all tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHORATIK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

step "unit tests on 32-bit ARM under qemu"
bash scripts/arm.sh

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

step "all tests passed"
