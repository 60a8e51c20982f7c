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

# The exact round trip of the sample tile set with -i: indexed pictures (the
# indices as stored, so the palette's repeated colours cannot mix them up)
# and exact_rebuild.txt beside them; built back from a pass folder.
echo
echo "== Exact round trip of $sample/TILES.bts: extraction with -i, then a build from pass folder 3"
printf 'png\n' | SDL_VIDEODRIVER=dummy build/quarnel "$sample/TILES.bts" -i
printf '\n' | SDL_VIDEODRIVER=dummy build/quarnel "$sample/TILES/3/0001.png"
if cmp -s "$sample/TILES.bts" "$sample/TILES/TILES_new.bts"; then
    echo "The rebuilt tile set $sample/TILES/TILES_new.bts is byte for byte the original."
else
    echo "The rebuilt tile set differs from the original." >&2
    exit 1
fi
