#!/usr/bin/env python3
"""Checks the generated resources by parsing them.

Usage: test_resources.py GENERATOR [GENERATED_DIR]
Without GENERATED_DIR the generator is run into a temporary folder first.
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest
import wave
import xml.etree.ElementTree as ElementTree
import zlib

GENERATOR = None
GENERATED = None

THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
NAMES = ["splash.png", "camera.png", "icon16.png", "icon32.png", "zentrolux.ico", "about.png",
         "hand.png", "click.wav", "hicolor.svg"] + ["hicolor-%d.png" % size for size in THEME_SIZES]


def generate(outdir):
    subprocess.run([sys.executable, GENERATOR, outdir], check=True)


def read_png(data):
    """Decodes our own kind of PNG (RGBA 8-bit, filter 0) and checks every CRC."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "bad CRC in %r" % kind
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    w, h, depth, colour, _, _, interlace = header
    assert (depth, colour, interlace) == (8, 6, 0), "expected RGBA 8-bit, no interlace"
    raw = zlib.decompress(idat)
    stride = w * 4 + 1
    assert len(raw) == stride * h, "pixel data has the wrong length"
    assert all(raw[y * stride] == 0 for y in range(h)), "only filter 0 is decoded here"
    return w, h, [raw[y * stride + 1:(y + 1) * stride] for y in range(h)]


def alpha(rows, x, y):
    return rows[y][4 * x + 3]


class GeneratedResources(unittest.TestCase):
    def load(self, name):
        with open(os.path.join(GENERATED, name), "rb") as f:
            return f.read()

    def test_picture_sizes(self):
        for name, size in (("splash.png", (591, 399)), ("camera.png", (17, 17)), ("icon16.png", (16, 16)),
                           ("icon32.png", (32, 32)), ("about.png", (395, 111)), ("hand.png", (32, 32))):
            with self.subTest(name=name):
                w, h, _ = read_png(self.load(name))
                self.assertEqual((w, h), size)

    def test_opaque_artwork_and_transparent_sprite_edges(self):
        for name in ("splash.png", "about.png"):
            w, h, rows = read_png(self.load(name))
            self.assertTrue(all(row[3::4] == b"\xff" * w for row in rows), name + " has see-through pixels")
        _, _, cam = read_png(self.load("camera.png"))
        for x, y in ((0, 0), (16, 0), (0, 16), (16, 16)):
            self.assertEqual(alpha(cam, x, y), 0, "camera corner %d,%d" % (x, y))
        self.assertEqual(alpha(cam, 8, 9), 255, "camera lens")

    def test_icons_keep_to_sixteen_colours(self):
        for name in ("icon16.png", "icon32.png"):
            w, _, rows = read_png(self.load(name))
            colours = {row[i:i + 4] for row in rows for i in range(0, 4 * w, 4)}
            self.assertLessEqual(len(colours), 16, name)
            self.assertGreater(len(colours), 3, name)

    def test_ico_holds_both_icons(self):
        data = self.load("zentrolux.ico")
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind, count), (0, 1, 2))
        for i, side in enumerate((16, 32)):
            w, h, _, _, planes, bits, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            self.assertEqual((w, h, planes, bits), (side, side, 1, 32))
            self.assertEqual(data[offset:offset + size], self.load("icon%d.png" % side))

    def test_theme_icons(self):
        for size in THEME_SIZES:
            with self.subTest(size=size):
                w, h, rows = read_png(self.load("hicolor-%d.png" % size))
                self.assertEqual((w, h), (size, size))
                if size in (16, 32):
                    self.assertEqual(self.load("hicolor-%d.png" % size), self.load("icon%d.png" % size))
                    continue
                # Round: see-through corners inside the square the lines do not cross.
                self.assertEqual(alpha(rows, 1, 1), 0)
                self.assertEqual(alpha(rows, size - 2, size - 2), 0)
                centre = rows[size // 2][4 * (size // 2):4 * (size // 2) + 4]
                self.assertTrue(all(v > 220 for v in centre), "no star in the middle: %r" % centre)
                # Two crosshair lines where the window's icon has them (columns 11 and 20 of 32).
                red = [x for x in range(size) if rows[2][4 * x:4 * x + 4] == b"\xe6\x28\x28\xff"]
                for unit, line in ((11.5, [x for x in red if x < size / 2]), (20.5, [x for x in red if x > size / 2])):
                    self.assertTrue(line, "no line near column %g of 32" % unit)
                    self.assertEqual(line, list(range(line[0], line[-1] + 1)), "a line in pieces")
                    self.assertAlmostEqual((line[0] + line[-1] + 1) / 2, unit * size / 32, delta=1.0)
        svg = ElementTree.fromstring(self.load("hicolor.svg"))
        self.assertEqual(svg.tag, "{http://www.w3.org/2000/svg}svg")
        self.assertEqual(svg.get("viewBox"), "0 0 32 32")
        self.assertEqual(len(svg.findall("{http://www.w3.org/2000/svg}rect")), 4, "the four crosshair lines")

    def test_hand_hot_spot_is_the_fingertip(self):
        _, _, rows = read_png(self.load("hand.png"))
        self.assertEqual(alpha(rows, 12, 1), 255)
        self.assertEqual(rows[2][4 * 12:4 * 12 + 4], b"\xff\xff\xff\xff", "white just below the tip")
        # Nothing above or beside the tip: it is the topmost, outermost point.
        for x, y in [(x, 0) for x in range(32)] + [(9, 1), (10, 1), (14, 1), (15, 1)]:
            self.assertEqual(alpha(rows, x, y), 0, "pixel %d,%d" % (x, y))

    def test_click_sound(self):
        with wave.open(os.path.join(GENERATED, "click.wav"), "rb") as w:
            self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getcomptype()),
                             (1, 2, 11025, "NONE"))
            frames = w.readframes(w.getnframes())
        data = self.load("click.wav")
        self.assertEqual(len(data), 21202)
        self.assertEqual(data[36:44], b"data" + struct.pack("<I", 21158))
        self.assertEqual(struct.unpack("<HHIIHH", data[20:36]), (1, 1, 11025, 22050, 2, 16))
        samples = struct.unpack("<%dh" % (len(frames) // 2), frames)
        peak = max(abs(s) for s in samples)
        self.assertGreater(peak, 8000, "the click is too quiet")
        self.assertLess(peak, 32000, "the click is clipped")
        self.assertEqual(max(abs(s) for s in samples[int(0.5 * 11025):]), 0, "the tail is not silent")

    def test_generator_is_deterministic(self):
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            generate(first)
            generate(second)
            for name in NAMES:
                with self.subTest(name=name):
                    with open(os.path.join(first, name), "rb") as a:
                        fresh = a.read()
                    with open(os.path.join(second, name), "rb") as b:
                        self.assertEqual(fresh, b.read())
                    self.assertEqual(fresh, self.load(name), "the build's copy differs from a fresh run")


def run():
    return unittest.main(argv=sys.argv[:1], exit=False).result.wasSuccessful()


if __name__ == "__main__":
    GENERATOR = os.path.abspath(sys.argv[1])
    if len(sys.argv) > 2:
        GENERATED = os.path.abspath(sys.argv[2])
        sys.exit(0 if run() else 1)
    with tempfile.TemporaryDirectory() as own:
        GENERATED = own
        generate(own)
        ok = run()
    sys.exit(0 if ok else 1)
