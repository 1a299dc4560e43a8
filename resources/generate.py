#!/usr/bin/env python3
"""Draws the program's pictures, icon, hand cursor and shutter click.

Usage: generate.py OUTDIR

Standard library only, and deterministic: every run writes the same bytes, so
a rebuild changes nothing unless this script changes. The random numbers come
from our own generator because the standard one may change between versions.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Random numbers


class Rng:
    """xorshift64*: small, fast enough and fixed forever."""

    MASK = (1 << 64) - 1

    def __init__(self, seed):
        self.state = (seed * 0x9E3779B97F4A7C15) & self.MASK or 1

    def next_u32(self):
        x = self.state
        x ^= x >> 12
        x ^= (x << 25) & self.MASK
        x ^= x >> 27
        self.state = x
        return ((x * 0x2545F4914F6CDD1D) & self.MASK) >> 32

    def uniform(self, lo=0.0, hi=1.0):
        return lo + (hi - lo) * (self.next_u32() / 4294967296.0)

    def gauss(self):
        u = self.uniform(1e-12, 1.0)
        return math.sqrt(-2.0 * math.log(u)) * math.cos(2.0 * math.pi * self.uniform())


# ---------------------------------------------------------------------------
# File encoders


def png_bytes(width, height, rgba):
    """RGBA 8-bit, no interlace, filter 0 on every row."""
    stride = width * 4
    raw = b"".join(b"\x00" + rgba[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_from_png(png, background):
    """A 24-bit bottom-up Windows bitmap of one of our own PNG images (RGBA, filter 0),
    laid over a background colour (r, g, b in 0..255): the Win32 front-end loads these."""
    width, height = struct.unpack(">II", png[16:24])
    pos, idat = 8, b""
    while pos < len(png):
        length, = struct.unpack(">I", png[pos:pos + 4])
        if png[pos + 4:pos + 8] == b"IDAT":
            idat += png[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        line = raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)]
        out = bytearray()
        for x in range(width):
            r, g, b, a = line[4 * x:4 * x + 4]
            mix = lambda c, bg: (c * a + bg * (255 - a) + 127) // 255
            out += bytes((mix(b, background[2]), mix(g, background[1]), mix(r, background[0])))
        rows.append(bytes(out) + b"\x00" * (row_bytes - len(out)))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def ico_bytes(images):
    """A Windows icon whose entries are PNG images: [(size, png), ...]."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, png in images:
        side = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    return out + data


def wav_bytes(rate, samples):
    """Mono 16-bit PCM with the plain 44-byte header."""
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    return (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
            + b"fmt " + struct.pack("<I", len(fmt)) + fmt
            + b"data" + struct.pack("<I", len(data)) + data)


# ---------------------------------------------------------------------------
# Drawing surface: straight (not premultiplied) RGBA floats in 0..1.


def rgb(r, g, b):
    return (r / 255.0, g / 255.0, b / 255.0)


class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.r = [0.0] * (width * height)
        self.g = [0.0] * (width * height)
        self.b = [0.0] * (width * height)
        self.a = [0.0] * (width * height)

    def blend(self, x, y, color, alpha):
        """Paints color with the given opacity over the pixel (source over)."""
        if alpha <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        alpha = min(alpha, 1.0)
        i = y * self.w + x
        below = self.a[i] * (1.0 - alpha)
        out = alpha + below
        self.r[i] = (color[0] * alpha + self.r[i] * below) / out
        self.g[i] = (color[1] * alpha + self.g[i] * below) / out
        self.b[i] = (color[2] * alpha + self.b[i] * below) / out
        self.a[i] = out

    def add_light(self, x, y, color, amount):
        """Adds light to an opaque pixel, as a star adds to the sky."""
        if amount <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        i = y * self.w + x
        self.r[i] += color[0] * amount
        self.g[i] += color[1] * amount
        self.b[i] += color[2] * amount

    def set(self, x, y, color, alpha=1.0):
        i = y * self.w + x
        self.r[i], self.g[i], self.b[i] = color
        self.a[i] = alpha

    def to_png(self, dither_seed=None):
        # A gentle dither keeps the sky gradients from banding.
        rng = Rng(dither_seed) if dither_seed is not None else None
        out = bytearray(self.w * self.h * 4)
        for i in range(self.w * self.h):
            d = rng.uniform(-0.5, 0.5) if rng else 0.0
            a = self.a[i]
            if a <= 0.0:
                continue  # fully transparent pixels stay 0,0,0,0
            for k, ch in enumerate((self.r, self.g, self.b)):
                out[4 * i + k] = max(0, min(255, int(ch[i] * 255.0 + 0.5 + d)))
            out[4 * i + 3] = max(0, min(255, int(a * 255.0 + 0.5)))
        return png_bytes(self.w, self.h, bytes(out))


def segment_distance(px, py, ax, ay, bx, by):
    dx = bx - ax
    dy = by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0.0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    ex = px - (ax + t * dx)
    ey = py - (ay + t * dy)
    return math.sqrt(ex * ex + ey * ey)


def paint_shape(canvas, box, distance, color, alpha=1.0):
    """Fills the pixels whose centres lie inside distance() <= 0, anti-aliased
    over one pixel. box = (x0, y0, x1, y1) bounds the work."""
    x0, y0, x1, y1 = box
    for y in range(max(0, int(y0) - 1), min(canvas.h, int(math.ceil(y1)) + 2)):
        for x in range(max(0, int(x0) - 1), min(canvas.w, int(math.ceil(x1)) + 2)):
            cover = 0.5 - distance(x + 0.5, y + 0.5)
            if cover > 0.0:
                canvas.blend(x, y, color, alpha * min(1.0, cover))


def paint_capsule(canvas, a, b, radius, color, alpha=1.0):
    box = (min(a[0], b[0]) - radius, min(a[1], b[1]) - radius,
           max(a[0], b[0]) + radius, max(a[1], b[1]) + radius)
    paint_shape(canvas, box, lambda x, y: segment_distance(x, y, a[0], a[1], b[0], b[1]) - radius,
                color, alpha)


def paint_disc(canvas, cx, cy, radius, color, alpha=1.0):
    paint_capsule(canvas, (cx, cy), (cx, cy), radius, color, alpha)


def paint_ring(canvas, cx, cy, radius, width, color, alpha=1.0):
    box = (cx - radius - width, cy - radius - width, cx + radius + width, cy + radius + width)
    paint_shape(canvas, box, lambda x, y: abs(math.hypot(x - cx, y - cy) - radius) - width / 2.0,
                color, alpha)


def add_star(canvas, x, y, brightness, tint, spikes=0.0):
    """A star as a small Gaussian spot of light; bright ones get a halo and,
    if asked, the four diffraction spikes of a reflector."""
    sigma = 0.45 + 0.9 * brightness
    reach = int(math.ceil(3.0 * sigma)) + 1
    cx, cy = int(x), int(y)
    for py in range(cy - reach, cy + reach + 1):
        for px in range(cx - reach, cx + reach + 1):
            d2 = (px + 0.5 - x) ** 2 + (py + 0.5 - y) ** 2
            amount = brightness * math.exp(-d2 / (2.0 * sigma * sigma))
            if brightness > 0.6:
                amount += 0.12 * brightness * math.exp(-math.sqrt(d2) / 3.0)
            canvas.add_light(px, py, tint, amount)
    if spikes > 0.0:
        length = int(spikes)
        for k in range(2, length):
            fade = 0.55 * brightness * (1.0 - k / length) ** 2
            for sx, sy in ((k, 0), (-k, 0), (0, k), (0, -k)):
                canvas.add_light(cx + sx, cy + sy, tint, fade)


# ---------------------------------------------------------------------------
# A 5 x 7 bitmap font with two rows of descenders (rows 7 and 8).

FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "a": ["....", "....", "###.", "...#", ".###", "#..#", ".###"],
    "b": ["#...", "#...", "###.", "#..#", "#..#", "#..#", "###."],
    "c": ["....", "....", ".###", "#...", "#...", "#...", ".###"],
    "d": ["...#", "...#", ".###", "#..#", "#..#", "#..#", ".###"],
    "e": ["....", "....", ".##.", "#..#", "####", "#...", ".###"],
    "f": ["..##", ".#..", "###.", ".#..", ".#..", ".#..", ".#.."],
    "g": ["....", "....", ".###", "#..#", "#..#", "#..#", ".###", "...#", "###."],
    "h": ["#...", "#...", "###.", "#..#", "#..#", "#..#", "#..#"],
    "i": ["#", ".", "#", "#", "#", "#", "#"],
    "j": [".#", "..", ".#", ".#", ".#", ".#", ".#", ".#", "#."],
    "k": ["#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"],
    "l": ["##", ".#", ".#", ".#", ".#", ".#", ".#"],
    "m": [".....", ".....", "####.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": ["....", "....", "###.", "#..#", "#..#", "#..#", "#..#"],
    "o": ["....", "....", ".##.", "#..#", "#..#", "#..#", ".##."],
    "p": ["....", "....", "###.", "#..#", "#..#", "#..#", "###.", "#...", "#..."],
    "q": ["....", "....", ".###", "#..#", "#..#", "#..#", ".###", "...#", "...#"],
    "r": ["...", "...", "#.#", "##.", "#..", "#..", "#.."],
    "s": ["....", "....", ".###", "#...", ".##.", "...#", "###."],
    "t": [".#..", ".#..", "###.", ".#..", ".#..", ".#..", "..##"],
    "u": ["....", "....", "#..#", "#..#", "#..#", "#..#", ".###"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "x": ["....", "....", "#..#", "#..#", ".##.", "#..#", "#..#"],
    "y": ["....", "....", "#..#", "#..#", "#..#", "#..#", ".###", "...#", "###."],
    "z": ["....", "....", "####", "...#", "..#.", ".#..", "####"],
    " ": ["..", "..", "..", "..", "..", "..", ".."],
    ".": [".", ".", ".", ".", ".", ".", "#"],
    "-": ["...", "...", "...", "###", "...", "...", "..."],
}
FONT_ROWS = 9  # cap height 7 plus two descender rows


def text_cells(text):
    """The lit cells of a line of text in font units, and its width in units."""
    cells = []
    x = 0
    for ch in text:
        if ch not in FONT:
            raise ValueError("no glyph for %r" % ch)
        rows = FONT[ch]
        width = len(rows[0])
        for r, row in enumerate(rows):
            if len(row) != width:
                raise ValueError("ragged glyph %r" % ch)
            for c, mark in enumerate(row):
                if mark == "#":
                    cells.append((x + c, r))
        x += width + 1
    return cells, x - 1


def text_width(text, scale):
    return text_cells(text)[1] * scale


def draw_text_blocks(canvas, text, left, top, scale, color, alpha=1.0):
    """Crisp text: each font cell becomes a scale x scale block (small text)."""
    for cx, cy in text_cells(text)[0]:
        for dy in range(scale):
            for dx in range(scale):
                canvas.blend(left + cx * scale + dx, top + cy * scale + dy, color, alpha)


def text_mask_smooth(text, scale, weight=0.92, pad=0):
    """Large text: the cells are joined by round strokes between neighbours,
    so diagonals come out smooth instead of stepped. Returns (w, h, coverage)."""
    cells, units = text_cells(text)
    lit = set(cells)
    radius = 0.5 * scale * weight
    segments = []
    for (c, r) in cells:
        joined = False
        for dc, dr in ((1, 0), (0, 1)):
            if (c + dc, r + dr) in lit:
                segments.append(((c, r), (c + dc, r + dr)))
                joined = True
        # Diagonals only where no straight path already joins the two cells.
        for dc in (1, -1):
            if (c + dc, r + 1) in lit and (c + dc, r) not in lit and (c, r + 1) not in lit:
                segments.append(((c, r), (c + dc, r + 1)))
                joined = True
        if not joined:
            segments.append(((c, r), (c, r)))
    w = units * scale + 2 * pad
    h = FONT_ROWS * scale + 2 * pad
    mask = [0.0] * (w * h)
    for (a, b) in segments:
        ax = (a[0] + 0.5) * scale + pad
        ay = (a[1] + 0.5) * scale + pad
        bx = (b[0] + 0.5) * scale + pad
        by = (b[1] + 0.5) * scale + pad
        for y in range(max(0, int(min(ay, by) - radius) - 1), min(h, int(max(ay, by) + radius) + 2)):
            for x in range(max(0, int(min(ax, bx) - radius) - 1), min(w, int(max(ax, bx) + radius) + 2)):
                cover = radius + 0.5 - segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
                if cover > mask[y * w + x]:
                    mask[y * w + x] = min(1.0, cover)
    return w, h, mask


def blur(w, h, mask, radius, passes=3):
    """Repeated box blur, close enough to a Gaussian for a glow."""
    cur = list(mask)
    span = 2 * radius + 1
    for _ in range(passes):
        tmp = [0.0] * (w * h)
        for y in range(h):
            row = cur[y * w:(y + 1) * w]
            acc = 0.0
            for x in range(-radius, w + radius):
                if x + radius < w:
                    acc += row[x + radius] if x + radius >= 0 else 0.0
                if x - radius - 1 >= 0:
                    acc -= row[x - radius - 1]
                if 0 <= x < w:
                    tmp[y * w + x] = acc / span
        out = [0.0] * (w * h)
        for x in range(w):
            acc = 0.0
            for y in range(-radius, h + radius):
                if 0 <= y + radius < h:
                    acc += tmp[(y + radius) * w + x]
                if y - radius - 1 >= 0:
                    acc -= tmp[(y - radius - 1) * w + x]
                if 0 <= y < h:
                    out[y * w + x] = acc / span
        cur = out
    return cur


def paint_mask(canvas, left, top, w, h, mask, color, alpha=1.0):
    for y in range(h):
        for x in range(w):
            m = mask[y * w + x]
            if m > 0.0:
                canvas.blend(left + x, top + y, color, alpha * m)


def draw_text_glowing(canvas, text, centre_x, top, scale, color, glow, glow_alpha, glow_radius):
    pad = 3 * glow_radius
    w, h, mask = text_mask_smooth(text, scale, pad=pad)
    left = int(round(centre_x - w / 2.0))
    paint_mask(canvas, left, top - pad, w, h, blur(w, h, mask, glow_radius), glow, glow_alpha)
    paint_mask(canvas, left, top - pad, w, h, mask, color)


def draw_text_centred(canvas, text, centre_x, top, scale, color, alpha=1.0):
    left = int(round(centre_x - text_width(text, scale) / 2.0))
    draw_text_blocks(canvas, text, left, top, scale, color, alpha)


# ---------------------------------------------------------------------------
# Shared pieces of the night-sky artwork

STAR_TINTS = [rgb(255, 214, 170), rgb(255, 240, 220), rgb(255, 255, 255), rgb(200, 220, 255),
              rgb(170, 196, 255)]
RETICLE_RED = rgb(232, 48, 48)


def fill_sky(canvas, top_color, bottom_color, glow_line=None):
    """Vertical gradient, darker overhead; optionally a faint Milky Way band
    along the line (x0, y0)-(x1, y1)."""
    for y in range(canvas.h):
        t = (y / (canvas.h - 1)) ** 1.5
        base = [top_color[k] + (bottom_color[k] - top_color[k]) * t for k in range(3)]
        for x in range(canvas.w):
            r, g, b = base
            if glow_line:
                (x0, y0), (x1, y1), width, strength = glow_line
                d = segment_distance(x, y, x0, y0, x1, y1)
                ripple = 0.75 + 0.25 * math.sin(x * 0.037 + 1.7) * math.sin(y * 0.053 + 0.4)
                band = strength * ripple * math.exp(-(d / width) ** 2)
                r += 0.55 * band
                g += 0.65 * band
                b += 1.0 * band
            canvas.set(x, y, (r, g, b))


def scatter_stars(canvas, rng, count, keep_out=(), band=None):
    """Random stars, many faint and few bright; those behind text are dimmed."""
    for n in range(count):
        if band and n % 4 == 0:
            # Every fourth star crowds along the Milky Way.
            (x0, y0), (x1, y1), width, _ = band
            t = rng.uniform()
            off = rng.gauss() * width * 0.6
            length = math.hypot(x1 - x0, y1 - y0)
            x = x0 + (x1 - x0) * t - (y1 - y0) / length * off
            y = y0 + (y1 - y0) * t + (x1 - x0) / length * off
        else:
            x = rng.uniform(0, canvas.w)
            y = rng.uniform(0, canvas.h)
        brightness = 0.06 + 0.94 * rng.uniform() ** 5
        tint = STAR_TINTS[rng.next_u32() % len(STAR_TINTS)]
        for (kx0, ky0, kx1, ky1) in keep_out:
            if kx0 <= x <= kx1 and ky0 <= y <= ky1:
                brightness *= 0.2
        add_star(canvas, x, y, brightness, tint)


def draw_reticle(canvas, cx, cy, gap, reach, alpha=0.9):
    """Two pairs of thin lines about a star, as the program draws them,
    fading towards their ends."""
    for k in range(-reach, reach + 1):
        a = alpha * (1.0 - (abs(k) / reach) ** 3)
        for off in (-gap, gap):
            canvas.blend(cx + off, cy + k, RETICLE_RED, a)
            canvas.blend(cx + k, cy + off, RETICLE_RED, a)


# ---------------------------------------------------------------------------
# The pictures


def make_splash():
    w, h = 591, 399
    cv = Canvas(w, h)
    band = ((-40, 330), (640, -30), 70.0, 0.055)
    fill_sky(cv, rgb(2, 4, 16), rgb(24, 40, 88), band)

    title_top, title_scale = 150, 8
    sub_lines = ["Crosshair and snapshot utility", "for amateur astronomers"]
    sub_top = [232, 256]
    keep_out = [(70, title_top - 10, 520, title_top + 7 * title_scale + 10), (100, 226, 490, 276)]
    scatter_stars(cv, Rng(1969), 900, keep_out, band)

    for (x, y, b, tint) in ((128, 74, 0.9, 2), (505, 228, 0.8, 4), (214, 118, 0.7, 0), (76, 192, 0.65, 3)):
        add_star(cv, x, y, b, STAR_TINTS[tint], spikes=9)

    # The guide star in the reticle, where the telescope points.
    target = (420, 102)
    add_star(cv, target[0] + 0.5, target[1] + 0.5, 1.0, STAR_TINTS[3], spikes=14)
    draw_reticle(cv, target[0], target[1], 8, 58)

    draw_text_glowing(cv, "ZENTROLUX", w / 2.0, title_top, title_scale, rgb(238, 242, 255),
                      rgb(80, 120, 255), 0.6, 5)
    for line, top in zip(sub_lines, sub_top):
        draw_text_centred(cv, line, w / 2.0, top, 2, rgb(176, 194, 236))

    # Hills along the bottom, and a small refractor on a tripod aimed at the guide star.
    def ground(x):
        return 374 + 9 * math.sin(x / 71.0 + 0.6) + 5 * math.sin(x / 23.0 + 1.3) + 2 * math.sin(x / 9.0)

    dark = rgb(5, 7, 17)
    for x in range(w):
        g = ground(x + 0.5)
        for y in range(int(g) - 1, h):
            cover = y + 0.5 - g + 0.5
            if cover > 0:
                cv.blend(x, y, dark, min(1.0, cover))

    apex = (112.0, 338.0)
    for foot_x, spread in ((84.0, 3.0), (142.0, 3.0), (116.0, 5.0)):
        paint_capsule(cv, apex, (foot_x, ground(foot_x) + spread), 1.3, dark)
    paint_disc(cv, apex[0], apex[1] - 2, 4.5, dark)
    dx, dy = target[0] - apex[0], target[1] - apex[1]
    n = math.hypot(dx, dy)
    ux, uy = dx / n, dy / n
    px, py = uy, -ux  # perpendicular, pointing up and to the left
    cx, cy = apex[0] + px * 7, apex[1] - 2 + py * 7
    paint_capsule(cv, (cx - ux * 38, cy - uy * 38), (cx + ux * 58, cy + uy * 58), 5.5, dark)
    paint_capsule(cv, (cx + ux * 52, cy + uy * 52), (cx + ux * 76, cy + uy * 76), 7.0, dark)
    fx, fy = cx + px * 10, cy + py * 10
    paint_capsule(cv, (fx + ux * 8, fy + uy * 8), (fx + ux * 30, fy + uy * 30), 2.2, dark)
    for k in (13, 25):  # the finder's brackets
        paint_capsule(cv, (cx + ux * k, cy + uy * k), (fx + ux * k, fy + uy * k), 1.0, dark)
    paint_capsule(cv, (cx - ux * 38, cy - uy * 38), (cx - ux * 46 - px * 7, cy - uy * 46 - py * 7), 2.5, dark)
    return cv.to_png(dither_seed=7)


def make_about():
    w, h = 395, 111
    cv = Canvas(w, h)
    fill_sky(cv, rgb(4, 7, 24), rgb(18, 32, 74))
    scatter_stars(cv, Rng(2024), 140, [(96, 14, 390, 66), (10, 80, 385, 104)])

    # Motif: the program's icon drawn large, a star under the crosshair.
    mx, my = 52, 43
    paint_disc(cv, mx, my, 31, rgb(10, 16, 44))
    paint_ring(cv, mx, my, 31, 1.6, rgb(84, 110, 190))
    add_star(cv, mx + 0.5, my + 0.5, 1.0, STAR_TINTS[2], spikes=10)
    draw_reticle(cv, mx, my, 7, 38, alpha=0.95)

    draw_text_glowing(cv, "Zentrolux", 236, 20, 5, rgb(238, 242, 255), rgb(80, 120, 255), 0.5, 3)
    draw_text_centred(cv, "Click to visit the Zentrolux web site", w / 2.0, 86, 2, rgb(176, 194, 236))
    return cv.to_png(dither_seed=11)


def make_icon(size):
    """Pixel-drawn in eight colours so it keeps to a 16-colour palette."""
    disc = rgb(14, 22, 58)
    rim = rgb(74, 96, 160)
    faint = rgb(160, 178, 228)
    red = rgb(230, 40, 40)
    white = rgb(255, 255, 255)
    pale = rgb(255, 244, 190)
    dim = rgb(200, 170, 90)
    cv = Canvas(size, size)
    centre = size / 2.0
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - centre, y + 0.5 - centre)
            if d <= centre - 0.4:
                cv.set(x, y, rim if d > centre - 1.6 else disc)
    if size == 16:
        lines = (5, 10)
        faint_stars = ()  # no room for them at this size
        arms = []
    else:
        lines = (11, 20)
        faint_stars = ((6, 8), (24, 6), (25, 24), (7, 23), (15, 26), (15, 5))
        arms = [(15, 13), (16, 13), (15, 18), (16, 18), (13, 15), (13, 16), (18, 15), (18, 16)]
    for x, y in faint_stars:
        cv.set(x, y, faint)
    c0 = size // 2 - 1
    for x, y in arms:
        cv.set(x, y, dim)
    for x, y in ((c0, c0 - 1), (c0 + 1, c0 - 1), (c0, c0 + 2), (c0 + 1, c0 + 2),
                 (c0 - 1, c0), (c0 - 1, c0 + 1), (c0 + 2, c0), (c0 + 2, c0 + 1)):
        cv.set(x, y, pale)
    for x in (c0, c0 + 1):
        for y in (c0, c0 + 1):
            cv.set(x, y, white)
    for k in range(size):
        for line in lines:
            cv.set(line, k, red)
            cv.set(k, line, red)
    return cv.to_png()


# The desktop's icon at the sizes menus and docks ask for, drawn from one scalable design on a
# 32-unit square. 16 and 32 pixels keep the window's pixel-drawn icons.
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
THEME_SHAPES = (
    ("disc", 16.0, 16.0, 15.6, (14, 22, 58)),
    ("ring", 16.0, 16.0, 15.0, 1.2, (74, 96, 160)),
    ("disc", 6.5, 8.5, 0.6, (160, 178, 228)),
    ("disc", 24.5, 6.5, 0.6, (160, 178, 228)),
    ("disc", 25.5, 24.5, 0.6, (160, 178, 228)),
    ("disc", 7.5, 23.5, 0.6, (160, 178, 228)),
    ("disc", 15.5, 26.5, 0.6, (160, 178, 228)),
    ("disc", 15.5, 5.5, 0.6, (160, 178, 228)),
    ("capsule", 16.0, 12.6, 16.0, 19.4, 0.4, (200, 170, 90)),  # the star's spikes
    ("capsule", 12.6, 16.0, 19.4, 16.0, 0.4, (200, 170, 90)),
    ("disc", 16.0, 16.0, 2.0, (255, 244, 190)),
    ("disc", 16.0, 16.0, 1.2, (255, 255, 255)),
    # The two pairs of crosshair lines, across the whole square as on the small icons.
    ("rect", 11.1, 0.0, 0.8, 32.0, (230, 40, 40)),
    ("rect", 20.1, 0.0, 0.8, 32.0, (230, 40, 40)),
    ("rect", 0.0, 11.1, 32.0, 0.8, (230, 40, 40)),
    ("rect", 0.0, 20.1, 32.0, 0.8, (230, 40, 40)),
)


def make_theme_icon(size):
    scale = size / 32.0
    cv = Canvas(size, size)
    for shape in THEME_SHAPES:
        kind, numbers, color = shape[0], [v * scale for v in shape[1:-1]], rgb(*shape[-1])
        if kind == "disc":
            paint_disc(cv, numbers[0], numbers[1], numbers[2], color)
        elif kind == "ring":
            paint_ring(cv, numbers[0], numbers[1], numbers[2], max(1.0, numbers[3]), color)
        elif kind == "capsule":
            paint_capsule(cv, (numbers[0], numbers[1]), (numbers[2], numbers[3]), max(0.5, numbers[4]), color)
        else:
            # Lines snap to whole pixels, at least one wide, so they stay crisp at every size.
            x0, y0 = round(numbers[0]), round(numbers[1])
            x1 = x0 + max(1, round(numbers[2]))
            y1 = y0 + max(1, round(numbers[3]))
            for y in range(y0, y1):
                for x in range(x0, x1):
                    cv.blend(x, y, color, 1.0)
    return cv.to_png()


def theme_svg():
    def hex_color(c):
        return "#%02x%02x%02x" % c

    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for shape in THEME_SHAPES:
        kind, v, color = shape[0], shape[1:-1], hex_color(shape[-1])
        if kind == "disc":
            lines.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (v[0], v[1], v[2], color))
        elif kind == "ring":
            lines.append('  <circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="%g"/>'
                         % (v[0], v[1], v[2], color, v[3]))
        elif kind == "capsule":
            lines.append('  <line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" stroke-width="%g" '
                         'stroke-linecap="round"/>' % (v[0], v[1], v[2], v[3], color, 2 * v[4]))
        else:
            lines.append('  <rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>'
                         % (v[0], v[1], v[2], v[3], color))
    lines.append("</svg>")
    return ("\n".join(lines) + "\n").encode()


CAMERA = [
    ".................",
    ".................",
    "..kkkk....kkkk...",
    "..kyyk...khhhhk..",
    ".kkkkkkkkkkkkkkk.",
    ".khhhhhhhhhhhhhk.",
    ".kmmmmmkkkmmmmmk.",
    ".kmmmmkgggkmmrrk.",
    ".kmmmkgwbbgkmmmk.",
    ".kmmmkgbbbgkmmmk.",
    ".kmmmkgbbbgkmmmk.",
    ".kmmmmkgggkmmmmk.",
    ".kmmmmmkkkmmmmmk.",
    ".kmmmmmmmmmmmmmk.",
    ".kkkkkkkkkkkkkkk.",
    ".................",
    ".................",
]
CAMERA_COLOURS = {
    "k": rgb(18, 18, 22),     # outline
    "m": rgb(66, 68, 78),     # body
    "h": rgb(118, 122, 136),  # top edge catching the light
    "g": rgb(160, 166, 180),  # lens barrel
    "b": rgb(44, 78, 140),    # lens glass
    "w": rgb(235, 242, 255),  # reflection on the glass
    "y": rgb(250, 228, 130),  # flash window
    "r": rgb(220, 40, 40),    # ready lamp
}


def make_pixel_art(rows, colours):
    cv = Canvas(len(rows[0]), len(rows))
    for y, row in enumerate(rows):
        if len(row) != cv.w:
            raise ValueError("ragged pixel art row %d" % y)
        for x, mark in enumerate(row):
            if mark != ".":
                cv.set(x, y, colours[mark])
    return cv.to_png()


def hand_rows():
    """A 32 x 32 pointing hand: white inside a black outline, fingertip at
    column 12, row 1 (the cursor's hot spot)."""
    size = 32

    def inside(x, y):
        if 11 <= x <= 13 and 2 <= y <= 17:
            return True  # index finger
        for left, top in ((15, 9), (19, 10), (23, 12)):
            if left <= x <= left + 2 and top <= y <= 18:
                return True  # the three folded fingers
        if 5 <= x <= 10 and 17 <= y <= 21 and (x, y) not in ((5, 17), (5, 21)):
            return True  # thumb
        if 7 <= x <= 10 and y == 22:
            return True
        if 9 <= x <= 25 and 17 <= y <= 26:
            return True  # palm
        return 11 <= x <= 24 and 27 <= y <= 29  # wrist

    rows = []
    for y in range(size):
        row = ""
        for x in range(size):
            if inside(x, y):
                row += "w"
            elif any(inside(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                row += "k"
            else:
                row += "."
        rows.append(row)
    grid = [list(r) for r in rows]
    # Creases between the fingers and along the thumb.
    for x, y0, y1 in ((14, 9, 16), (18, 10, 17), (22, 12, 18)):
        for y in range(y0, y1 + 1):
            grid[y][x] = "k"
    return ["".join(r) for r in grid]


def make_click():
    """A shutter's double click: two short noise bursts 60 ms apart, each
    with a low mechanical thump under it, then silence to the full length."""
    rate = 11025
    count = 10579  # 21,158 data bytes
    rng = Rng(4711)
    signal = [0.0] * count
    for start, amp, tau, thump_hz, thump_tau, thump_amp in (
            (0.006, 1.0, 0.0035, 210.0, 0.016, 0.35),
            (0.066, 0.8, 0.0055, 160.0, 0.024, 0.45)):
        i0 = int(round(start * rate))
        smooth = 0.0
        for i in range(i0, min(count, i0 + int(0.2 * rate))):
            t = (i - i0) / rate
            attack = min(1.0, (i - i0 + 1) / 3.0)
            smooth = 0.55 * smooth + 0.45 * rng.uniform(-1.0, 1.0)  # takes the hiss off
            signal[i] += attack * amp * math.exp(-t / tau) * smooth * 2.0
            signal[i] += attack * thump_amp * math.exp(-t / thump_tau) * math.sin(2 * math.pi * thump_hz * t)
    # Ease the ringing out so the cut to silence makes no click of its own.
    fade_from, fade_to = int(0.16 * rate), int(0.26 * rate)
    for i in range(fade_from, count):
        k = min(1.0, (i - fade_from) / (fade_to - fade_from))
        signal[i] *= 0.5 + 0.5 * math.cos(math.pi * k)
    peak = max(abs(v) for v in signal)
    gain = 0.7 * 32767 / peak
    samples = [int(round(v * gain)) for v in signal]
    return wav_bytes(rate, samples)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: generate.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    icon16 = make_icon(16)
    icon32 = make_icon(32)
    files = {
        "splash.png": make_splash(),
        "camera.png": make_pixel_art(CAMERA, CAMERA_COLOURS),
        "icon16.png": icon16,
        "icon32.png": icon32,
        "zentrolux.ico": ico_bytes([(16, icon16), (32, icon32)]),
        "about.png": make_about(),
        "hand.png": make_pixel_art(hand_rows(), {"w": rgb(255, 255, 255), "k": rgb(0, 0, 0)}),
        "click.wav": make_click(),
        "hicolor.svg": theme_svg(),
    }
    # The Win32 front-end's bitmaps: the camera over the button's face, the rest opaque.
    files["camera.bmp"] = bmp_from_png(files["camera.png"], (240, 240, 240))
    files["splash.bmp"] = bmp_from_png(files["splash.png"], (0, 0, 0))
    files["about.bmp"] = bmp_from_png(files["about.png"], (0, 0, 0))
    for size in THEME_SIZES:
        files["hicolor-%d.png" % size] = {16: icon16, 32: icon32}.get(size) or make_theme_icon(size)
    # Always rewrite, so the build sees the outputs newer than this script.
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
