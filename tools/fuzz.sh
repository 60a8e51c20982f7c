#!/usr/bin/env bash
# Runs every fuzz target for a while, two at a time. A new crash is kept under
# tests/fuzz/pending/<target>/ (not replayed); once its fault is mended, move
# the input to tests/fuzz/regressions/<target>/, which every test run replays.
#
#   tools/fuzz.sh [seconds per target] [target ...]
#
# Needs clang with libFuzzer (Debian: clang, libclang-rt-14-dev or newer).
# Seeds: tests/fuzz/seeds/<target>/ if present, plus whatever
# tools/make_fuzz_seeds.sh (when present) writes into the corpus folders.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DQUARNEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j"${QUARNEL_FUZZ_JOBS:-2}" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$here"/tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
if [ -x "$here/tools/make_fuzz_seeds.sh" ]; then "$here/tools/make_fuzz_seeds.sh" "$build/corpus"; fi
# One target's run: its log in build-fuzz/<target>.log, a finding kept.
fuzz_one() {
  local target=$1
  local corpus="$build/corpus/$target"
  local crashes="$here/tests/fuzz/pending/$target"
  mkdir -p "$corpus" "$crashes"
  local seeds=()
  local options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$crashes/" -print_final_stats=1)
  [ -n "${QUARNEL_FUZZ_MAX_LEN:-}" ] && options+=(-max_len="$QUARNEL_FUZZ_MAX_LEN")
  [ -d "$here/tests/fuzz/seeds/$target" ] && seeds+=("$here/tests/fuzz/seeds/$target")
  local status=0
  if ! "$build/tests/fuzz/$target" "$corpus" "${seeds[@]}" "${options[@]}" 2>"$build/$target.log"; then status=1; fi
  rmdir "$crashes" 2>/dev/null || true
  return $status
}

# QUARNEL_FUZZ_PARALLEL targets at a time (default 2, one per core here).
parallel=${QUARNEL_FUZZ_PARALLEL:-2}
status=0
for ((first = 0; first < ${#targets[@]}; first += parallel)); do
  pids=()
  batch=("${targets[@]:first:parallel}")
  for target in "${batch[@]}"; do
    echo "== $target: ${seconds}s"
    fuzz_one "$target" & pids+=($!)
  done
  for i in "${!batch[@]}"; do
    target=${batch[$i]}
    if ! wait "${pids[$i]}"; then
      echo "!! $target found a problem; the input is kept in $here/tests/fuzz/pending/$target"
      tail -n 60 "$build/$target.log"
      status=1
    fi
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+.*DONE)' "$build/$target.log" | sed "s/^/$target: /" ||
      tail -n 3 "$build/$target.log"
  done
done
exit $status
