#!/usr/bin/python3
"""Draws the Kestrane icon: a kestrel's wing sweeping over a film strip.

Writes kestrane.ico with 16x16 and 32x32 images at 4 and 8 bits per pixel
(palette images with an AND mask, the form every Windows version reads), and
32-bit images with alpha at the sizes 125 % to 300 % display scales ask for
(20 to 96 pixels), so that the system need not stretch a smaller one.
Run with the system Python, which has PIL: /usr/bin/python3 res/make_icon.py
"""
import os
import struct

from PIL import Image, ImageDraw

# The 16 colours of the 4-bit images; the 8-bit images use the same ones.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
SCALE = 8  # drawn large, then reduced, so the small sizes stay clean


def draw(size):
    big = size * SCALE
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(image)
    s = big / 32.0

    def box(x0, y0, x1, y1, fill):
        d.rectangle([x0 * s, y0 * s, x1 * s - 1, y1 * s - 1], fill=fill)

    # Film strip: dark band with sprocket holes and three frames.
    box(1, 16, 31, 30, (0, 0, 0, 255))
    for x in range(3, 31, 5):
        box(x, 17, x + 2, 19, (255, 255, 255, 255))
        box(x, 27, x + 2, 29, (255, 255, 255, 255))
    for x in (2, 12, 22):
        box(x + 1, 20, x + 9, 26, (0, 128, 128, 255))
    # Kestrel: pointed wings and a fanned tail in rufous and yellow.
    wing = [(2, 10), (14, 5), (18, 2), (19, 7), (30, 3), (22, 11), (17, 12), (11, 12)]
    d.polygon([(x * s, y * s) for x, y in wing], fill=(128, 0, 0, 255))
    d.polygon([(x * s, y * s) for x, y in [(14, 7), (18, 4), (21, 9), (16, 11)]], fill=(255, 255, 0, 255))
    d.polygon([(x * s, y * s) for x, y in [(15, 11), (19, 11), (20, 16), (14, 16)]], fill=(128, 0, 0, 255))
    d.ellipse([17 * s, 3 * s, 21 * s - 1, 7 * s - 1], fill=(128, 128, 128, 255))
    return image.resize((size, size), Image.LANCZOS)


def nearest(rgb):
    return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, PALETTE[i])))


def dib(image, bits):
    size = image.width
    colours = 1 << bits
    indices, mask = [], []
    for y in range(size):
        for x in range(size):
            r, g, b, a = image.getpixel((x, y))
            opaque = a >= 128
            indices.append(nearest((r, g, b)) if opaque else 0)
            mask.append(0 if opaque else 1)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in
                       (PALETTE + [(0, 0, 0)] * (colours - 16)))
    xor = bytearray()
    xor_stride = ((bits * size + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    and_bits = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = indices[y * size:(y + 1) * size]
        if bits == 4:
            packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        else:
            packed = bytes(row)
        xor += packed.ljust(xor_stride, b"\0")
        m = mask[y * size:(y + 1) * size]
        packed_mask = bytes(sum(m[i + k] << (7 - k) for k in range(8)) for i in range(0, size, 8))
        and_bits += packed_mask.ljust(and_stride, b"\0")
    return header + palette + bytes(xor) + bytes(and_bits), colours


def and_mask(image):
    size = image.width
    stride = ((size + 31) // 32) * 4
    rows = bytearray()
    for y in reversed(range(size)):
        m = [0 if image.getpixel((x, y))[3] >= 128 else 1 for x in range(size)] + [0] * 7
        rows += bytes(sum(m[i + k] << (7 - k) for k in range(8)) for i in range(0, size, 8)).ljust(stride, b"\0")
    return bytes(rows)


def dib32(image):
    size = image.width
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a) for y in reversed(range(size))
                      for r, g, b, a in (image.getpixel((x, y)) for x in range(size)))
    return header + pixels + and_mask(image), 0


def main():
    images = []
    for size in (16, 32):
        art = draw(size)
        for bits in (4, 8):
            data, colours = dib(art, bits)
            images.append((size, bits, colours, data))
    for size in (20, 24, 28, 36, 40, 48, 56, 64, 72, 80, 96):
        data, colours = dib32(draw(size))
        images.append((size, 32, colours, data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, colours, data in images:
        out += struct.pack("<BBBBHHII", size, size, colours if colours < 256 else 0, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, _, data in images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "kestrane.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
