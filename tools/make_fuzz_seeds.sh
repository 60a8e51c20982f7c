#!/usr/bin/env bash
# Writes seed inputs for the fuzz targets into CORPUS/<target>/, from the
# project's own sample makers and the PngSuite corpus in tests/data.
#   tools/make_fuzz_seeds.sh CORPUS [BUILD]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
corpus=$1
build=${2:-$here/build-fuzz}
mkdir -p "$corpus"/{png_reader_fuzz,png_rows_fuzz,bmp_fuzz,archive_fuzz,animation_description_fuzz,build_file_fuzz,input_item_fuzz,run_length_fuzz}
mkdir -p "$corpus"/{map_grid_fuzz,viewer_pictures_fuzz,unit_animation_set_fuzz,animation_report_fuzz,extraction_picture_fuzz,picture_coding_fuzz}
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
fi
if [ -x "$build/make_sample_archive" ]; then
  # Extraction's picture path: byte 0 is the kind (0 sprite set, 1 tile set, 2 .trs) and bit 2 centering.
  { printf '\004'; cat "$work/archive/SAMPLE.spr"; } > "$corpus/extraction_picture_fuzz/sample-sprite-set-centred"
  { printf '\000'; cat "$work/archive/SAMPLE.spr"; } > "$corpus/extraction_picture_fuzz/sample-sprite-set"
  { printf '\001'; cat "$work/archive/TILES.bts"; } > "$corpus/extraction_picture_fuzz/sample-tile-set"
fi
# The targets that take several files in one input, and the item containers
# no sample maker writes, are put together here.
python3 - "$corpus" "$work" <<'PY'
import os, random, struct, sys
corpus, work = sys.argv[1], sys.argv[2]
def put(target, name, data):
    with open(os.path.join(corpus, target, name), "wb") as f:
        f.write(data)
def read(path):
    path = os.path.join(work, path)
    return open(path, "rb").read() if os.path.exists(path) else None
def part(data):
    return struct.pack("<H", len(data)) + data
def container(records, items):
    head = bytearray(32)
    head[8:10] = struct.pack("<H", len(records))
    return bytes(head) + b"".join(records) + b"".join(items)
def trc_record(name, size):
    rec = bytearray(32)
    rec[0:len(name)] = name
    rec[20:23] = struct.pack("<I", size)[:3]
    return bytes(rec)
pal = bytes((i * 3 + c) % 64 for i in range(256) for c in range(3))
picture = struct.pack("<HH", 5, 3) + bytes(8) + bytes(range(1, 16))
note = b"a note\r\n"
items = [(b"PIC.PAL", pal), (b"PIC.SPR", picture), (b"NOTE.TXT", note)]
trc = container([trc_record(n, len(d)) for n, d in items], [d for _, d in items])
# Names that try to leave the picture folder: the reader keeps dots and
# backslashes, so these are what a hostile container can say.
climbing = [b"..", b".", b"", b"..\\..\\x.txt", b"...", b".\x00.pal"]
hostile = container([trc_record(n, 4) for n in climbing], [b"DATA"] * len(climbing))
trw = container([struct.pack("<I", len(d)) + bytes(12) for _, d in items], [d for _, d in items])
trs_images = [(4, 3), (2, 2)]
trs = container([bytes(4) + struct.pack("<HH", w, h) + bytes(8) for w, h in trs_images],
                [bytes(range(w * h)) for w, h in trs_images])
put("archive_fuzz", "sample.trs", b"\x02" + trs)
put("archive_fuzz", "sample.trc", b"\x03" + trc)
put("archive_fuzz", "climbing-names.trc", b"\x03" + hostile)
put("archive_fuzz", "sample.trw", b"\x04" + trw)
put("archive_fuzz", "raw-data", b"\x05" + bytes((3, 4, 2)) + bytes(range(24)))
put("extraction_picture_fuzz", "sample.trs", b"\x02" + trs)

spr, bts, fin, game_map = (read("game/sprites/REAP.SPR"), read("game/scenario/DESERT.BTS"),
                           read("game/animate/REAP.FIN"), read("game/scenario/SAMPLE.MAP"))
if spr and bts and fin and game_map:
    put("viewer_pictures_fuzz", "unit.spr", b"\x00" + spr)
    put("viewer_pictures_fuzz", "tiles.bts", b"\x01" + bts)
    # The map grid target takes the tile keys first: a count byte and a u16 each.
    count = struct.unpack_from("<H", bts, 4)[0]
    keys = [struct.unpack_from("<I", bts, 776 + 1028 * t)[0] & 0xFFFF for t in range(count)
            if 776 + 1028 * t + 4 <= len(bts)][:255]
    put("map_grid_fuzz", "sample.map", bytes([len(keys)]) + b"".join(struct.pack("<H", k) for k in keys) + game_map)
    put("map_grid_fuzz", "no-keys.map", b"\x00" + game_map)
    script = bytes([0x02, 0x02, 0x30, 0x81])
    put("unit_animation_set_fuzz", "reap", b"\x00" + part(spr) + part(bts) + part(game_map) + part(script) + fin)
    put("unit_animation_set_fuzz", "other-unit", b"\x03" + part(spr) + part(bts) + part(game_map) + part(b"") + fin)
    put("animation_report_fuzz", "blood", b"\x01" + fin)
    put("animation_report_fuzz", "all", b"\x00" + fin)

# Builder's picture coding: flags, width, height, colour count, colours, pixel choices.
rng = random.Random(9)
for flags in range(4):
    w, h, k = 9 + flags, 7, 6
    colours = b"".join(struct.pack("<I", 0xFF000000 | rng.randrange(1 << 24)) for _ in range(k))
    pixels = bytes(rng.choice([0, 1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFE, 0x80]) for _ in range(w * h))
    put("picture_coding_fuzz", "picture-%d" % flags, bytes([flags, w, h, k]) + colours + pixels)

# PNG rows: width, height, depth choice (1 2 4 8 16), colour type choice
# (0 2 3 4 6), flags, palette and transparency parts, then the filtered rows.
depths, channels = [1, 2, 4, 8, 16], [1, 3, 1, 2, 4]
for depth_choice, type_choice, flags in [(3, 1, 0), (4, 4, 1), (0, 2, 6), (2, 0, 4), (3, 3, 9), (1, 2, 18)]:
    w, h = 7, 5
    bits = depths[depth_choice] * channels[type_choice]
    row_bytes = (w * bits + 7) // 8
    rows = b"".join(bytes([y % 5]) + bytes(rng.randrange(256) for _ in range(row_bytes)) for y in range(h))
    pal = bytes(rng.randrange(256) for _ in range(3 * 16))
    trns = bytes(rng.randrange(256) for _ in range(6 if type_choice == 1 else 2 if type_choice == 0 else 16))
    put("png_rows_fuzz", "rows-%d-%d-%d" % (depth_choice, type_choice, flags),
        bytes([w - 1, h - 1, depth_choice, type_choice, flags]) + part(pal) + part(trns) + rows)
PY
printf 'DCpath=/games/dc\r\n' > "$corpus/input_item_fuzz/setup"
printf '"quoted, item",plain item\r\n  blank\tlead,\n' > "$corpus/input_item_fuzz/items"
printf '\x03\x02\xfe\x02\x0a\x0b\x0c\xff' > "$corpus/run_length_fuzz/row-crossing"
printf '0\r\n1\r\n0\r\n' > "$corpus/build_file_fuzz/short"
