#!/usr/bin/python3
"""Writes the metafile fuzz target's seed corpus: small, valid older-filter
metafiles whose bitmap records carry each kind of bitmap the copy handles.
Run from anywhere; rewrites tests/fuzz/corpus/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

META_DIBBITBLT, META_DIBSTRETCHBLT, META_SETDIBTODEV, META_STRETCHDIB = 0x0940, 0x0B41, 0x0D33, 0x0F43
# Parameters between a bitmap record's head and its bitmap, by kind.
LEADING = {META_DIBBITBLT: 16, META_DIBSTRETCHBLT: 20, META_SETDIBTODEV: 18, META_STRETCHDIB: 22}


def record(function, parameters):
    if len(parameters) % 2:
        parameters += b"\0"
    return struct.pack("<IH", 3 + len(parameters) // 2, function) + parameters


def metafile(records):
    body = b"".join(records) + record(0, b"")
    words = (18 + len(body)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, words, 0, max(len(r) for r in records) // 2, 0)
    return header + body


def dib(width, height, bits, rows, compression=0, colours=b"", header_size=40, masks=b""):
    """rows: bytes of each row, top row first; a negative height stores them top-down."""
    stride = (width * bits + 31) // 32 * 4
    padded = [r + b"\0" * (stride - len(r)) for r in rows]
    if height > 0:
        padded.reverse()
    header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                         stride * abs(height), 0, 0, len(colours) // 4, 0)
    if header_size > 40:
        header += (masks + b"\0" * header_size)[: header_size - 40]
        masks = b""
    return header + masks + colours + b"".join(padded)


def bitmap_record(function, bitmap):
    return record(function, b"\0" * LEADING[function] + bitmap)


def other_records():
    return [record(0x0103, struct.pack("<h", 8)), record(0x020B, struct.pack("<hh", 0, 0))]


def main():
    w, h = 5, 3
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in
                       [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (10, 20, 30)])
    seeds = {}
    seeds["stretchdib-8bit-palette"] = bitmap_record(
        META_STRETCHDIB, dib(w, h, 8, [bytes((x + 2 * y) % 5 for x in range(w)) for y in range(h)],
                             colours=palette))
    seeds["dibbitblt-24bit"] = bitmap_record(
        META_DIBBITBLT, dib(4, 3, 24, [bytes(v for x in range(4) for v in (40 * x, 70 * y, 200 - x))
                                       for y in range(3)]))
    masks565 = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    seeds["setdibtodev-16bit-bitfields-topdown"] = bitmap_record(
        META_SETDIBTODEV, dib(w, -h, 16, [b"".join(struct.pack("<H", ((4 * x) << 11) | ((9 * y) << 5) | 31)
                                                  for x in range(w)) for y in range(h)],
                              compression=3, masks=masks565))
    seeds["dibstretchblt-1bit"] = bitmap_record(
        META_DIBSTRETCHBLT, dib(9, 2, 1, [bytes([0b10101010, 0x80]), bytes([0b01010101, 0])],
                                colours=palette[:8]))
    seeds["stretchdib-4bit-topdown"] = bitmap_record(
        META_STRETCHDIB, dib(w, -h, 4, [bytes([0x01, 0x23, 0x40]) for _ in range(h)], colours=palette))
    seeds["stretchdib-32bit-v4-bitfields"] = bitmap_record(
        META_STRETCHDIB, dib(2, 2, 32, [bytes(range(8)), bytes(range(8, 16))], compression=3,
                             header_size=108, masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)))
    seeds["dibbitblt-16bit-555"] = bitmap_record(
        META_DIBBITBLT, dib(3, 1, 16, [struct.pack("<HHH", 0x7C00, 0x03E0, 0x001F)]))
    out = os.path.join(HERE, "corpus")
    os.makedirs(out, exist_ok=True)
    for name, bitmap in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(metafile(other_records() + [bitmap]))


if __name__ == "__main__":
    main()
