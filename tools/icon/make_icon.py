#!/usr/bin/env python3
"""Draws the Orvanta application icon and writes it as a multi-size .ico file.

The picture: a rounded square with a teal-to-indigo gradient, a white ring (the "O") and a
small white satellite dot on the ring's upper right, like a connection in orbit. Every size is
rendered from the same vector description with 4 x 4 supersampling, so small sizes stay crisp.
Standard library only; run it again after changing the drawing:

    python3 tools/icon/make_icon.py runner/app_icon.ico
"""

import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4

TOP_COLOUR = (0x12, 0xB3, 0xA8)
BOTTOM_COLOUR = (0x3A, 0x3F, 0xC8)
WHITE = (0xFF, 0xFF, 0xFF)


def inside_rounded_square(x, y, radius):
    """x, y in [0, 1]; corner radius as a fraction of the side."""
    cx = min(max(x, radius), 1.0 - radius)
    cy = min(max(y, radius), 1.0 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def sample(x, y):
    """Colour and coverage (0 or 1) of one point of the unit square."""
    if not inside_rounded_square(x, y, 0.22):
        return (0, 0, 0), 0.0
    t = y
    colour = tuple(round(a + (b - a) * t) for a, b in zip(TOP_COLOUR, BOTTOM_COLOUR))
    dx, dy = x - 0.5, y - 0.5
    distance = math.hypot(dx, dy)
    if 0.20 <= distance <= 0.30:
        colour = WHITE
    angle = math.radians(-40.0)
    sx, sy = 0.5 + 0.25 * math.cos(angle), 0.5 + 0.25 * math.sin(angle)
    if math.hypot(x - sx, y - sy) <= 0.095:
        colour = WHITE
    return colour, 1.0


def render(size):
    """Rows top to bottom of (r, g, b, a) pixels, straight (not premultiplied) alpha."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            coverage = 0.0
            for sy in range(n):
                for sx in range(n):
                    colour, alpha = sample((px + (sx + 0.5) / n) / size,
                                           (py + (sy + 0.5) / n) / size)
                    coverage += alpha
                    for i in range(3):
                        total[i] += colour[i] * alpha
            if coverage == 0.0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / coverage) for c in total) +
                           (round(255 * coverage / (n * n)),))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    """A 32-bit DIB as stored in an .ico: double height, bottom-up BGRA, then the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_entry(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def build_ico():
    images = []
    for size in SIZES:
        rows = render(size)
        # Large sizes are stored as PNG, as Windows expects for 256 x 256.
        data = png_entry(size, rows) if size >= 256 else bmp_entry(size, rows)
        images.append((size, data))
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    blobs = b''
    for size, data in images:
        dimension = 0 if size >= 256 else size
        entries += struct.pack('<BBBBHHII', dimension, dimension, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    return directory + entries + blobs


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_icon.py <output.ico>\n')
        return 2
    with open(argv[1], 'wb') as out:
        out.write(build_ico())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
