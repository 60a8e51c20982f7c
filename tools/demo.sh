#!/usr/bin/env bash
# Sets up, builds, and runs the main job on a small sample the project makes
# itself: a run-length coded sprite set is written by make_sample_archive,
# extracted to PNG pictures, then built back into an archive and compared
# with the original.
set -euo pipefail
cd "$(dirname "$0")/.."

./setup.sh

sample=build/sample
rm -rf "$sample"
build/make_sample_archive "$sample"

echo
echo "== Extraction of $sample/SAMPLE.spr (answers: t = centre the sprites, png)"
# Headless: answers come on standard input; at its end the closing key wait ends.
printf 't\npng\n' | SDL_VIDEODRIVER=dummy build/quarnel "$sample/SAMPLE.spr"

echo
echo "== Building the pictures back into $sample/SAMPLE/SAMPLE_new.spr"
printf '\n' | SDL_VIDEODRIVER=dummy build/quarnel "$sample/SAMPLE/0001.png"

echo
echo "== The pictures, the build file and the palette images are in $sample/SAMPLE/:"
ls "$sample/SAMPLE"
if cmp -s "$sample/SAMPLE.spr" "$sample/SAMPLE/SAMPLE_new.spr"; then
    echo "The rebuilt archive is byte for byte the original."
else
    echo "The rebuilt archive differs from the original." >&2
    exit 1
fi
