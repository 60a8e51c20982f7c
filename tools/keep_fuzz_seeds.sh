#!/usr/bin/env bash
# Keeps what long fuzzing runs reached: replaces tests/fuzz/seeds/<target>/
# with the smallest set of inputs from build-fuzz/corpus/<target>/ (and the
# seeds already kept) that covers as much of the code (libFuzzer's merge).
# Every later run, the short ones of the test command included, starts from
# there. Run tools/fuzz.sh first; the fuzz build must exist.
#
#   tools/keep_fuzz_seeds.sh [target ...]
#
# Inputs are cut to QUARNEL_SEED_MAX_LEN bytes (default 16384) so that the
# kept seeds stay small enough to live in the repository.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-fuzz"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$here"/tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  seeds="$here/tests/fuzz/seeds/$target"
  [ -x "$build/tests/fuzz/$target" ] || { echo "no fuzz build of $target in $build" >&2; exit 2; }
  merged=$(mktemp -d)
  sources=("$corpus")
  [ -d "$seeds" ] && sources+=("$seeds")
  "$build/tests/fuzz/$target" -merge=1 -max_len="${QUARNEL_SEED_MAX_LEN:-16384}" -rss_limit_mb=2048 -timeout=10 "$merged" "${sources[@]}" \
    >"$build/$target.merge.log" 2>&1 || { tail -n 20 "$build/$target.merge.log"; exit 1; }
  rm -rf "$seeds"
  mkdir -p "$seeds"
  cp "$merged"/* "$seeds"/ 2>/dev/null || true
  rm -rf "$merged"
  echo "$target: $(ls "$seeds" | wc -l) inputs, $(cat "$seeds"/* 2>/dev/null | wc -c) bytes"
done
