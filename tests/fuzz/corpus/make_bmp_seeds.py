#!/usr/bin/env python3
"""Writes the seed bitmaps for bmp_fuzz into corpus/bmp: tiny pictures in each
layout the JPEG writer reads, one with a description block before its pixels,
so the fuzzer starts past the magic bytes."""

import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "bmp"


def description_block(text):
    """The block of jpegwriter/include/zentrolux/descriptionblock.h."""
    data = text.encode()
    block = b"ZXDESC" + struct.pack("<H", len(data)) + data
    return block + b"\x00" * (-len(block) % 4)


def bitmap(width, height, bits, top_down=False, masks=False, description=None):
    pitch = (width * bits // 8 + 3) // 4 * 4
    extra = struct.pack("<III", 0xFF0000, 0xFF00, 0xFF) if masks else b""
    if description is not None:
        extra += description_block(description)
    offset = 54 + len(extra)
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
    return header + info + extra + bytes(pixels)


if __name__ == "__main__":
    HERE.mkdir(exist_ok=True)
    seeds = {
        "rgb24_5x3.bmp": bitmap(5, 3, 24),
        "rgb24_topdown_3x2.bmp": bitmap(3, 2, 24, top_down=True),
        "rgb32_2x2.bmp": bitmap(2, 2, 32),
        "masks32_3x1.bmp": bitmap(3, 1, 32, masks=True),
        "described24_3x2.bmp": bitmap(3, 2, 24, description="star offset +3.4 -1.2 px"),
    }
    for name, data in seeds.items():
        (HERE / name).write_bytes(data)
