#!/usr/bin/python3
"""Draws docs/trimmed-swing.png: twelve frames of a sword swing as an editor
trims them, the same placed by --anchor bottom (the figure jumps as the
sword swings out) and put back by their offsets with --canvas (each equal to
its untrimmed original). Usage: tools/trimmed-swing-picture.py [OUT.png]"""
import sys
from pathlib import Path

from PIL import Image, ImageDraw

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "outside"))
import harness  # noqa: E402  the test's own drawing of the swing

SIDE, GAP, LABEL = 96, 4, 16
frames = harness.swing_frames(12, SIDE)
boxes = [frame.getbbox() for frame in frames]
rows = [("as trimmed", lambda k, t: (0, 0)),
        ("--canvas 96x96 --anchor bottom", lambda k, t: ((SIDE - t.width) // 2, SIDE - t.height)),
        ("--canvas (the files' offsets)", lambda k, t: boxes[k][:2])]
picture = Image.new("RGB", (12 * (SIDE + GAP) + GAP, len(rows) * (SIDE + GAP + LABEL) + GAP), (96, 96, 96))
draw = ImageDraw.Draw(picture)
for r, (label, place) in enumerate(rows):
    top = GAP + r * (SIDE + GAP + LABEL)
    draw.text((GAP, top), label, fill=(255, 255, 255))
    for k, frame in enumerate(frames):
        trimmed = frame.crop(boxes[k])
        cell = Image.new("RGB", (SIDE, SIDE), (48, 48, 48) if r == 0 else (0, 0, 0))
        cell.paste(trimmed, place(k, trimmed))
        picture.paste(cell, (GAP + k * (SIDE + GAP), top + LABEL))
picture.save(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "docs" / "trimmed-swing.png")
