"""Screen rectangles and pictures: Rect, Image (8-bit RGB), reading picture files and their EXIF, the
backdrop's gradient."""

import collections
import datetime
import json
import re
import subprocess
import sys

from .waiting import COMMAND_TIMEOUT

SYSTEM_PYTHON = "/usr/bin/python3"  # has python3-gi and python3-pil; the one running the tests may not


class Rect(collections.namedtuple("Rect", "x y width height")):
    """A screen rectangle; right and bottom are exclusive."""

    __slots__ = ()

    @property
    def right(self):
        return self.x + self.width

    @property
    def bottom(self):
        return self.y + self.height

    @property
    def center(self):
        return (self.x + self.width // 2, self.y + self.height // 2)

    def contains(self, x, y):
        return self.x <= x < self.right and self.y <= y < self.bottom

    def grown(self, margin):
        """The rectangle with margin pixels more on every side."""
        return Rect(self.x - margin, self.y - margin, self.width + 2 * margin, self.height + 2 * margin)


class FrameExtents(collections.namedtuple("FrameExtents", "left right top bottom")):
    __slots__ = ()


def color_close(a, b, tolerance=0):
    """True when every channel of a and b differs by at most tolerance."""
    return all(abs(int(p) - int(q)) <= tolerance for p, q in zip(a, b))


class Image:
    """An 8-bit RGB picture held as rows of bytes."""

    __slots__ = ("width", "height", "data")

    def __init__(self, width, height, data):
        if width < 0 or height < 0 or len(data) != width * height * 3:
            raise ValueError(f"{width}x{height} RGB picture needs {width * height * 3} bytes, got {len(data)}")
        self.width = width
        self.height = height
        self.data = bytes(data)

    def __repr__(self):
        return f"<Image {self.width}x{self.height}>"

    @classmethod
    def from_pnm(cls, blob):
        """Reads the first picture of a binary PPM (P6) or PGM (P5) stream, 8 or 16 bits a sample."""
        fields = []
        pos = 0
        while len(fields) < 4:
            while pos < len(blob) and blob[pos : pos + 1].isspace():
                pos += 1
            if blob[pos : pos + 1] == b"#":
                end = blob.find(b"\n", pos)
                pos = len(blob) if end < 0 else end + 1
                continue
            start = pos
            while pos < len(blob) and not blob[pos : pos + 1].isspace() and blob[pos : pos + 1] != b"#":
                pos += 1
            if start == pos:
                raise ValueError("truncated PNM header")
            fields.append(blob[start:pos])
        magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic not in (b"P6", b"P5") or not 0 < maxval < 65536:
            raise ValueError(f"not a binary PPM/PGM picture: {magic!r} maxval {maxval}")
        pos += 1  # the single blank after maxval
        channels = 3 if magic == b"P6" else 1
        wide = maxval > 255
        size = width * height * channels * (2 if wide else 1)
        samples = blob[pos : pos + size]
        if len(samples) != size:
            raise ValueError(f"PNM data truncated: {len(samples)} of {size} bytes")
        if wide:
            samples = bytes(samples[0::2]) if maxval == 65535 else bytes(
                (((hi << 8) | lo) * 255 + maxval // 2) // maxval for hi, lo in zip(samples[0::2], samples[1::2])
            )
        elif maxval != 255:
            samples = bytes((v * 255 + maxval // 2) // maxval for v in samples)
        if channels == 1:
            rgb = bytearray(len(samples) * 3)
            rgb[0::3] = samples
            rgb[1::3] = samples
            rgb[2::3] = samples
            samples = rgb
        return cls(width, height, samples)

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data

    def save(self, path):
        """Writes the picture; the file name's ending picks the format (PPM directly, others by convert)."""
        if path.lower().endswith(".ppm"):
            with open(path, "wb") as out:
                out.write(self.to_ppm())
            return
        subprocess.run(["convert", "ppm:-", path], input=self.to_ppm(), check=True, timeout=COMMAND_TIMEOUT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def pixel(self, x, y):
        """The (r, g, b) colour at (x, y); IndexError outside the picture."""
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError(f"pixel ({x}, {y}) outside {self.width}x{self.height} picture")
        i = (y * self.width + x) * 3
        return (self.data[i], self.data[i + 1], self.data[i + 2])

    def crop(self, x, y=None, width=None, height=None):
        """The part at (x, y, width, height) or at a Rect; it must lie inside the picture."""
        if y is None:
            x, y, width, height = x
        if x < 0 or y < 0 or width < 0 or height < 0 or x + width > self.width or y + height > self.height:
            raise IndexError(f"crop ({x}, {y}, {width}, {height}) outside {self.width}x{self.height} picture")
        stride = self.width * 3
        rows = [self.data[(y + r) * stride + x * 3 : (y + r) * stride + (x + width) * 3] for r in range(height)]
        return Image(width, height, b"".join(rows))

    def _packed(self):
        """The pixels as 32-bit numbers, one per pixel, for fast counting and matching."""
        rgbx = bytearray(self.width * self.height * 4)
        rgbx[0::4] = self.data[0::3]
        rgbx[1::4] = self.data[1::3]
        rgbx[2::4] = self.data[2::3]
        return memoryview(rgbx).cast("I")

    @staticmethod
    def _unpack(value):
        raw = value.to_bytes(4, sys.byteorder)
        return (raw[0], raw[1], raw[2])

    def colors(self):
        """A Counter of how many pixels have each (r, g, b) colour."""
        packed = collections.Counter(self._packed())
        return collections.Counter({self._unpack(value): n for value, n in packed.items()})

    def count(self, predicate):
        """How many pixels satisfy predicate((r, g, b)); predicate runs once per distinct colour."""
        packed = collections.Counter(self._packed())
        return sum(n for value, n in packed.items() if predicate(self._unpack(value)))

    def bounding_box(self, predicate):
        """The smallest Rect holding every pixel that satisfies predicate((r, g, b)), or None."""
        packed = self._packed()
        wanted = {value for value in set(packed) if predicate(self._unpack(value))}
        if not wanted:
            return None
        left, top, right, bottom = self.width, None, -1, -1
        for y in range(self.height):
            row = packed[y * self.width : (y + 1) * self.width]
            if wanted.isdisjoint(row):
                continue
            xs = [x for x, value in enumerate(row) if value in wanted]
            top = y if top is None else top
            bottom = y
            left = min(left, xs[0])
            right = max(right, xs[-1])
        return Rect(left, top, right - left + 1, bottom - top + 1)


def load_image(path):
    """Decodes any picture file ImageMagick reads (JPEG, PNG, BMP...) into an Image."""
    result = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, timeout=COMMAND_TIMEOUT)
    if result.returncode != 0:
        raise RuntimeError(f"convert could not read {path}: {result.stderr.decode(errors='replace').strip()}")
    return Image.from_pnm(result.stdout)


# Run by the system's python3: Pillow reads the EXIF as picture viewers do.
_READ_EXIF = """
import json, sys
from PIL import Image
with Image.open(sys.argv[1]) as picture:
    exif = picture.getexif()
    inner = exif.get_ifd(0x8769)
    version = inner.get(0x9000)
    print(json.dumps({"description": exif.get(0x010E), "taken": inner.get(0x9003), "subsecond": inner.get(0x9291),
                      "offset": inner.get(0x9011), "version": version.decode("latin-1") if version else None}))
"""


def read_exif(path):
    """The EXIF of a JPEG file that matters here, as Pillow reads it: a dict of "taken", the moment that
    DateTimeOriginal, SubSecTimeOriginal (milliseconds) and OffsetTimeOriginal name together, an aware
    datetime (None unless all three are there in their forms); "description", the ImageDescription or None;
    "version", the ExifVersion or None; and "fields", the texts as read."""
    result = subprocess.run([SYSTEM_PYTHON, "-c", _READ_EXIF, path], capture_output=True, text=True,
                            timeout=COMMAND_TIMEOUT)
    if result.returncode != 0:
        raise RuntimeError(f"Pillow could not read the EXIF of {path}: {result.stderr.strip()}")
    fields = json.loads(result.stdout)
    taken = None
    offset = re.fullmatch(r"([+-])(\d\d):(\d\d)", fields["offset"] or "")
    if fields["taken"] and re.fullmatch(r"\d{3}", fields["subsecond"] or "") and offset:
        sign = -1 if offset.group(1) == "-" else 1
        zone = datetime.timezone(sign * datetime.timedelta(hours=int(offset.group(2)), minutes=int(offset.group(3))))
        taken = datetime.datetime.strptime(fields["taken"], "%Y:%m:%d %H:%M:%S").replace(
            microsecond=int(fields["subsecond"]) * 1000, tzinfo=zone)
    return {"taken": taken, "description": fields["description"], "version": fields["version"], "fields": fields}


# ---------------------------------------------------------------------------------------------------
# The backdrop's gradient; must match gradientColor() in backdrop/backdrop.cpp.


def gradient_color(x, y):
    """The colour the gradient backdrop shows at screen position (x, y)."""
    return (x & 255, y & 255, 64 + ((x >> 8) & 3) * 48 + ((y >> 8) & 3) * 12)


def gradient_position(color):
    """The screen position, modulo 1024 on each axis, whose gradient colour is nearest to color.

    Tolerates the small colour errors of JPEG: blue only picks the 256-pixel tile.
    """
    r, g, b = color
    best = min(((tx, ty) for tx in range(4) for ty in range(4)), key=lambda t: abs(64 + t[0] * 48 + t[1] * 12 - b))
    return (best[0] * 256 + r, best[1] * 256 + g)
