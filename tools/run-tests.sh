#!/usr/bin/env bash
# Sets up, builds and runs every test: first the normal build in build/,
# then a build with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/, then every fuzz target for a short while (clang, build-fuzz/;
# QUARNEL_FUZZ_SECONDS per target, default 30, 0 leaves it out). Any failing
# test, sanitizer report or fuzzing finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

./setup.sh

echo "== Tests (build/)"
ctest --test-dir build -j 2 --output-on-failure

echo "== Tests with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake -S . -B build-asan -G Ninja -DQUARNEL_SANITIZE=ON -DQUARNEL_BENCH=OFF
cmake --build build-asan -j 2
# A report ends the program with a failing status (also in the programs the
# tests start, which inherit these settings), so the test fails.
export ASAN_OPTIONS="abort_on_error=1:halt_on_error=1:detect_leaks=1:exitcode=66"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
ctest --test-dir build-asan -j 2 --output-on-failure

fuzz_seconds=${QUARNEL_FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" != 0 ]; then
    echo "== Fuzzing every target for ${fuzz_seconds} s (build-fuzz/)"
    ./tools/fuzz.sh "$fuzz_seconds"
fi
