#!/usr/bin/python3
"""Checks the palette files of an extraction folder independently of
quarnel: palette.bmp is read by Pillow, the three palette files by their
formats' own rules, and every file must hold exactly palette.bmp's 256
colours; each pass folder of a tile set must hold that pass's turned
colours (entry 201 + ((s + k) mod 7) shows entry 201 + k, s = pass - 1).
    check_palette_files.py FOLDER [PASSES]
Prints "ok" or the first difference, and exits 1 on a difference."""
import os
import sys

from PIL import Image


def fail(message):
    print(message)
    sys.exit(1)


def read_gimp(path):
    # GIMP's rules: a first line "GIMP Palette", then optional "Name:" and
    # "Columns:" lines and "#" comments; each colour line is three decimal
    # numbers separated by blanks, then an optional name.
    with open(path, "rb") as f:
        lines = f.read().decode("ascii").split("\n")
    if lines[0].rstrip("\r") != "GIMP Palette":
        fail(path + ": not a GIMP palette")
    colours = []
    for line in lines[1:]:
        line = line.rstrip("\r")
        if not line or line.startswith("#") or line.startswith("Name:") or line.startswith("Columns:"):
            continue
        fields = line.split(None, 3)
        colours.append(tuple(int(v) for v in fields[:3]))
        if len(fields) > 3 and len(colours) == 1 and "transparent" not in fields[3]:
            fail(path + ": entry 0 is not named transparent")
    return colours


def read_jasc(path):
    # JASC-PAL: "JASC-PAL", the version "0100", the count, one "r g b" line
    # each, CR LF line ends.
    with open(path, "rb") as f:
        data = f.read().decode("ascii")
    if "\r\n" not in data or data.replace("\r\n", "").count("\n"):
        fail(path + ": line ends are not CR LF")
    lines = data.split("\r\n")
    if lines[0] != "JASC-PAL" or lines[1] != "0100":
        fail(path + ": not a JASC-PAL file")
    count = int(lines[2])
    return [tuple(int(v) for v in line.split()) for line in lines[3:3 + count]]


def read_act(path):
    # Adobe Color Table: 768 bytes of RGB, then the count and the
    # transparent index as big-endian 16-bit numbers.
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != 772:
        fail(path + ": %d bytes, not 772" % len(data))
    count = int.from_bytes(data[768:770], "big")
    transparent = int.from_bytes(data[770:772], "big")
    if transparent != 0:
        fail(path + ": transparent index %d, not 0" % transparent)
    return [tuple(data[3 * i:3 * i + 3]) for i in range(count)]


def check(folder, colours):
    for name, reader in (("palette.gpl", read_gimp), ("palette.pal", read_jasc), ("palette.act", read_act)):
        found = reader(os.path.join(folder, name))
        if found != colours:
            differing = [i for i in range(min(len(found), 256)) if found[i] != colours[i]]
            fail("%s: %d colours, differing at %s" % (os.path.join(folder, name), len(found), differing[:8]))


folder = sys.argv[1]
passes = int(sys.argv[2]) if len(sys.argv) > 2 else 0
image = Image.open(os.path.join(folder, "palette.bmp")).convert("RGB")
if image.size[0] < 256:
    fail("palette.bmp is %d pixels wide" % image.size[0])
base = [image.getpixel((i, 0)) for i in range(256)]
check(folder, base)
for pass_number in range(1, passes + 1):
    step = pass_number - 1
    turned = list(base)
    for k in range(7):
        turned[201 + (step + k) % 7] = base[201 + k]
    check(os.path.join(folder, str(pass_number)), turned)
print("ok")
