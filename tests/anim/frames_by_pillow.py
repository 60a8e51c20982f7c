#!/usr/bin/python3
"""Decodes an animated picture (APNG or GIF) frame by frame with Pillow, a
decoder independent of quarnel, and prints what a test compares:
    format NAME
    size WIDTH HEIGHT
    loop COUNT
    frames N
    frame INDEX DURATION_MS RGBA_HEX   (one line per frame, composited)
"""
import sys

from PIL import Image, ImageSequence

picture = Image.open(sys.argv[1])
print("format", picture.format)
print("size", picture.width, picture.height)
print("loop", picture.info.get("loop", "none"))
print("frames", getattr(picture, "n_frames", 1))
for index, frame in enumerate(ImageSequence.Iterator(picture)):
    duration = frame.info.get("duration", 0)
    print("frame", index, int(round(duration)), frame.convert("RGBA").tobytes().hex())
