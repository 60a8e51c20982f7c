#!/usr/bin/env bash
# Sets up, builds, and runs the main job on a small sample the project makes
# itself: bytediff compares two sample files that this script writes.
set -euo pipefail
cd "$(dirname "$0")/.."

./setup.sh

sample=build/demo
mkdir -p "$sample"
printf 'Dark Colony sample: unit REAP, frame 0001\r\n' > "$sample/before.bin"
printf 'Dark Colony sample: unit REAQ, frame 0002\r\n' > "$sample/after.bin"

echo "== bytediff on $sample/before.bin and $sample/after.bin"
# The answers come on standard input; at its end the closing key wait ends.
cd "$sample"
printf 'before.bin\nafter.bin\nq' | ../bytediff
