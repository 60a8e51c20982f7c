#!/usr/bin/env bash
# Sets up, builds and runs every test: first the normal build in build/,
# then a build with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/, the parallel work's tests with ThreadSanitizer in
# build-tsan/, then the Windows build (build-windows/, tools/build-windows.sh)
# with its tests run through Wine, then the release files (dist/,
# tools/package.sh) with their tests, then every fuzz target for a short while
# (clang, build-fuzz/; QUARNEL_FUZZ_SECONDS per target, default 10, two at
# a time, 0 leaves it out; tools/fuzz.sh 600 is the longer run). Any failing
# test, sanitizer report or fuzzing finding fails the run. At the end it
# lists the time each part took.
set -euo pipefail
cd "$(dirname "$0")/.."

# "== NAME" starts a part; the times are listed when the run ends well.
timings=()
part_name=""
part_start=$SECONDS
part() {
    [ -n "$part_name" ] && timings+=("$(printf '%5d s  %s' $((SECONDS - part_start)) "$part_name")")
    part_name=$1
    part_start=$SECONDS
    [ -n "$part_name" ] && echo "== $part_name"
    return 0
}

part "Set-up and build (build/)"
./setup.sh

part "Tests (build/)"
ctest --test-dir build -j 2 --output-on-failure

part "Build with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake -S . -B build-asan -G Ninja -DQUARNEL_SANITIZE=ON -DQUARNEL_BENCH=OFF
cmake --build build-asan -j 2
part "Tests with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
# A report ends the program with a failing status (also in the programs the
# tests start, which inherit these settings), so the test fails.
export ASAN_OPTIONS="abort_on_error=1:halt_on_error=1:detect_leaks=1:exitcode=66"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
ctest --test-dir build-asan -j 2 --output-on-failure

part "The tests of the work spread over threads with ThreadSanitizer (build-tsan/)"
cmake -S . -B build-tsan -G Ninja -DQUARNEL_TSAN=ON -DQUARNEL_BENCH=OFF
cmake --build build-tsan -j 2 --target quarnel quarnel_thread_tests
(export TSAN_OPTIONS="halt_on_error=1:exitcode=66" QUARNEL_TEST_STRIDE=8 QUARNEL_THREADS=4
 build-tsan/tests/quarnel_thread_tests)

part "Windows build (build-windows/)"
./tools/build-windows.sh
part "Windows tests under Wine"
# A Wine prefix of its own, made once per run. Its wineserver is started
# here, with its output detached: started from inside ctest, Wine's services
# would keep each test's output open (slow tests, or a hang).
export WINEPREFIX="$PWD/build-windows/wine-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine passes names outside ASCII to a program (even to its wide calls) only
# from a UTF-8 Unix locale; the tests of names in any letters need it.
export LC_ALL=C.UTF-8
wineserver -k </dev/null >/dev/null 2>&1 || true  # one left from an earlier run
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot --init </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot.exe </dev/null >/dev/null 2>&1
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
# The tests of formats and rules, built for Windows, in one Wine process (a
# Wine start costs more than most of the tests themselves); then the
# Windows programs end to end beside the Linux ones (tests/wine, from
# build/), one at a time: each window test starts a Wine session of its
# own, which would end the Wine programs of a test running beside it.
/usr/lib/wine/wine64 build-windows/tests/quarnel_tests.exe --gtest_brief=1 </dev/null
QUARNEL_WINE_TESTS=required ctest --test-dir build -R '^Windows(Build|UnicodePaths)\.' --output-on-failure

part "Release files (dist/) and their tests"
# The zip's programs run under the same Wine session.
./tools/package.sh
QUARNEL_PACKAGE_TESTS=required ctest --test-dir build -R '^Packages\.' --output-on-failure
wineserver -k </dev/null >/dev/null 2>&1 || true
trap - EXIT

fuzz_seconds=${QUARNEL_FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" != 0 ]; then
    part "Fuzzing every target for ${fuzz_seconds} s (build-fuzz/)"
    ./tools/fuzz.sh "$fuzz_seconds"
fi
part ""
echo "== Every test passed in $SECONDS s:"
printf '%s\n' "${timings[@]}"
