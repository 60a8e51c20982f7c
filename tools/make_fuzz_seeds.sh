#!/usr/bin/env bash
# Writes seed inputs for the fuzz targets into CORPUS/<target>/, from the
# project's own sample makers and the PngSuite corpus in tests/data.
#   tools/make_fuzz_seeds.sh CORPUS [BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
corpus=$1
build=${2:-$here/build-fuzz}
mkdir -p "$corpus"/{png_reader_fuzz,bmp_fuzz,archive_fuzz,animation_description_fuzz,build_file_fuzz,input_item_fuzz,run_length_fuzz}
cp "$here"/tests/data/pngsuite/png/*.png "$corpus/png_reader_fuzz/"
cp "$here"/tests/data/pngsuite/bmp/*.bmp "$corpus/bmp_fuzz/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -x "$build/make_sample_archive" ]; then
  "$build/make_sample_archive" "$work/archive" >/dev/null
  # The archive target reads a kind byte first: 0 sprite set, 1 tile set.
  { printf '\000'; cat "$work/archive/SAMPLE.spr"; } > "$corpus/archive_fuzz/sample-sprite-set"
  { printf '\001'; cat "$work/archive/TILES.bts"; } > "$corpus/archive_fuzz/sample-tile-set"
fi
if [ -x "$build/make_sample_game" ]; then
  "$build/make_sample_game" "$work/game" >/dev/null
  cp "$work/game/animate/REAP.FIN" "$corpus/animation_description_fuzz/sample.fin"
  for target in map_grid_fuzz viewer_pictures_fuzz; do
    mkdir -p "$corpus/$target"
  done
  cp "$work/game/scenario/SAMPLE.MAP" "$corpus/map_grid_fuzz/" 2>/dev/null || true
  cp "$work/game/sprites/REAP.SPR" "$work/game/scenario/DESERT.BTS" "$corpus/viewer_pictures_fuzz/" 2>/dev/null || true
fi
printf 'DCpath=/games/dc\r\n' > "$corpus/input_item_fuzz/setup"
printf '"quoted, item",plain item\r\n  blank\tlead,\n' > "$corpus/input_item_fuzz/items"
printf '\x03\x02\xfe\x02\x0a\x0b\x0c\xff' > "$corpus/run_length_fuzz/row-crossing"
printf '0\r\n1\r\n0\r\n' > "$corpus/build_file_fuzz/short"
