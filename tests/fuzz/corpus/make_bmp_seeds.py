#!/usr/bin/env python3
"""Writes the seed bitmaps for bmp_fuzz into corpus/bmp: tiny pictures in each
layout the JPEG writer reads, so the fuzzer starts past the magic bytes."""

import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "bmp"


def bitmap(width, height, bits, top_down=False, masks=False):
    pitch = (width * bits // 8 + 3) // 4 * 4
    offset = 54 + (12 if masks else 0)
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            pixel = bytes((x * 40 % 256, y * 60 % 256, (x + y) * 25 % 256))
            row += pixel + (b"\x00" if bits == 32 else b"")
        pixels += row + b"\x00" * (pitch - len(row))
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                       3 if masks else 0, len(pixels), 0, 0, 0, 0)
    extra = struct.pack("<III", 0xFF0000, 0xFF00, 0xFF) if masks else b""
    return header + info + extra + bytes(pixels)


if __name__ == "__main__":
    HERE.mkdir(exist_ok=True)
    seeds = {
        "rgb24_5x3.bmp": bitmap(5, 3, 24),
        "rgb24_topdown_3x2.bmp": bitmap(3, 2, 24, top_down=True),
        "rgb32_2x2.bmp": bitmap(2, 2, 32),
        "masks32_3x1.bmp": bitmap(3, 1, 32, masks=True),
    }
    for name, data in seeds.items():
        (HERE / name).write_bytes(data)
