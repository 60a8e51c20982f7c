#!/usr/bin/env bash
# Sets up, builds and runs every test: first the normal build in build/,
# then a build with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/. Any failing test or sanitizer report fails the run.
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
