#!/usr/bin/env bash
# Sets up, builds only what it runs (the two programs and the sample makers,
# not the tests and benchmarks), and runs the main jobs in command mode on
# small samples the project makes itself. Each step below stands on its own.
set -euo pipefail
cd "$(dirname "$0")/.."

# Step 1: packages, configuration, and the programs the demo runs.
./setup.sh quarnel bytediff make_sample_archive make_sample_game

# Step 2: the samples: a run-length coded sprite set and a tile set, and a
# small invented game (unit, tile set, map) for the map picture.
sample=build/sample
rm -rf "$sample"
build/make_sample_archive "$sample"
build/make_sample_game "$sample/game" > /dev/null

# Step 3: extraction in command mode: nothing is asked, no key waited for,
# no window opened; one line per archive says what was done.
echo
echo "== quarnel extract $sample/SAMPLE.spr (centred sprites, PNG pictures)"
build/quarnel extract --centre --png "$sample/SAMPLE.spr"

# Step 4: the pictures built back into an archive and compared byte for
# byte with the original (bytediff's status is 0 only when they are equal).
echo
echo "== quarnel build $sample/SAMPLE (the pictures back into SAMPLE_new.spr)"
build/quarnel build "$sample/SAMPLE"
echo
echo "== bytediff $sample/SAMPLE.spr $sample/SAMPLE/SAMPLE_new.spr"
if build/bytediff "$sample/SAMPLE.spr" "$sample/SAMPLE/SAMPLE_new.spr" > /dev/null; then
    echo "The rebuilt archive is byte for byte the original."
else
    echo "The rebuilt archive differs from the original." >&2
    exit 1
fi

# Step 5: the exact round trip of the sample tile set with -i: indexed
# pictures (the indices as stored, so the palette's repeated colours cannot
# mix them up) and exact_rebuild.txt beside them; built back from a pass
# folder.
echo
echo "== quarnel extract -i $sample/TILES.bts, then quarnel build from pass folder 3"
build/quarnel extract -i --png "$sample/TILES.bts"
build/quarnel build "$sample/TILES/3/0001.png"
if build/bytediff "$sample/TILES.bts" "$sample/TILES/TILES_new.bts" > /dev/null; then
    echo "The rebuilt tile set $sample/TILES/TILES_new.bts is byte for byte the original."
else
    echo "The rebuilt tile set differs from the original." >&2
    exit 1
fi

# Step 6: the sample game's whole map in one picture, with its markers and
# the grid. setup.txt names the game folder; it is looked for beside the
# program first, so the demo's own one lies in the sample folder's config.
echo
echo "== quarnel map $sample/game/scenario/SAMPLE.MAP (the whole map as one PNG)"
mkdir -p "$sample/config/quarnel"
echo "DCpath=$PWD/$sample/game" > "$sample/config/quarnel/setup.txt"
XDG_CONFIG_HOME="$PWD/$sample/config" build/quarnel map "$sample/game/scenario/SAMPLE.MAP" \
    --tiles desert --markers 2 --grid --png "$sample/SAMPLE_map.png"

echo
echo "== The pictures, the build file and the palette images are in $sample/SAMPLE/:"
ls "$sample/SAMPLE"
