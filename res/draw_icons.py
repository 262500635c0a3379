#!/usr/bin/env python3
"""Draws the program's icons: a quill feather above a brook, on a rounded tile.

Writes two icon files, each holding 16, 32, 48 and 256 pixel images in 8-bit
(256-colour) and 32-bit colour; the 32-bit set also has a 64 pixel image.
The large icon has the full drawing; the small one leaves out the detail that
would turn to noise at 16 pixels. Pure standard library, deterministic output.

usage: draw_icons.py OUTPUT_DIR
"""
import math
import os
import struct
import sys
import zlib

SIZES_8BIT = (16, 32, 48, 256)
SIZES_32BIT = (16, 32, 48, 64, 256)
SUPERSAMPLE = 3

TILE_TOP = (22, 92, 120)
TILE_BOTTOM = (10, 48, 74)
WATER = (120, 200, 235)
FEATHER = (250, 240, 214)
FEATHER_EDGE = (196, 160, 104)
SHAFT = (70, 48, 30)


def inside_tile(x, y, radius=0.2):
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius and 0 <= x <= 1 and 0 <= y <= 1


def on_wave(x, y, base, amplitude, thickness, phase):
    return abs(y - (base + amplitude * math.sin(2 * math.pi * (1.6 * x + phase)))) < thickness


def feather_part(x, y, detailed):
    """Returns 'shaft', 'edge', 'vane' or None for a point against the quill."""
    x0, y0, x1, y1 = 0.24, 0.74, 0.80, 0.14
    ax, ay = x1 - x0, y1 - y0
    length = math.hypot(ax, ay)
    ux, uy = ax / length, ay / length
    t = ((x - x0) * ux + (y - y0) * uy) / length
    d = (x - x0) * -uy + (y - y0) * ux
    shaft_width = 0.018 if detailed else 0.035
    if -0.12 <= t <= 1.0 and abs(d) < shaft_width:
        return "shaft"
    if 0.12 <= t <= 1.0:
        half = (0.15 if detailed else 0.17) * math.sin(math.pi * (t - 0.12) / 0.88) ** 0.7
        half *= 1.0 if d > 0 else 0.75
        if abs(d) < half:
            if detailed and abs(d) > half - 0.025:
                return "edge"
            if detailed and int(t * 14) % 2 == 0 and abs(d) > 0.5 * half:
                return "edge"
            return "vane"
    return None


def shade(x, y, detailed):
    """Colour (r, g, b) of one sample point, or None outside the tile."""
    if not inside_tile(x, y):
        return None
    part = feather_part(x, y, detailed)
    if part == "shaft":
        return SHAFT
    if part == "edge":
        return FEATHER_EDGE
    if part == "vane":
        return FEATHER
    waves = ((0.80, 0.03, 0.0), (0.90, 0.025, 0.3)) if not detailed else (
        (0.76, 0.025, 0.0), (0.84, 0.022, 0.35), (0.92, 0.018, 0.7))
    for base, amplitude, phase in waves:
        if on_wave(x, y, base, amplitude, 0.022 if detailed else 0.04, phase):
            return WATER
    if not detailed:
        return TILE_TOP
    return tuple(round(a + (b - a) * y) for a, b in zip(TILE_TOP, TILE_BOTTOM))


def render(size, detailed):
    """Rows of (r, g, b, a), top row first, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size, detailed)
                    if c is not None:
                        r, g, b, hits = r + c[0], g + c[1], b + c[2], hits + 1
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((r // hits, g // hits, b // hits, 255 * hits // (n * n)))
        rows.append(row)
    return rows


def palette():
    """A fixed 256-colour palette: a 6x6x6 colour cube and 40 greys."""
    levels = (0, 51, 102, 153, 204, 255)
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(i * 255 / 39),) * 3 for i in range(40)]
    return colours


# The last grey repeats the cube's white, and the nearest colour is always the first
# of equals, so no drawing uses this entry: it marks the palette PNG's transparent
# pixels.
TRANSPARENT_INDEX = 255


def nearest_index(colour, colours, cache):
    if colour not in cache:
        cache[colour] = min(range(len(colours)),
                            key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, colours[i])))
    return cache[colour]


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        data += line
    return bytes(data)


def bmp_header(size, bits, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours_used, 0)


def encode_8bit(rows, size):
    colours = palette()
    cache = {}
    stride = (size + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            line[x] = nearest_index((r, g, b), colours, cache) if a >= 128 else 0
        pixels += line
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return bmp_header(size, 8, 256) + table + bytes(pixels) + and_mask(rows, size)


def encode_32bit_bmp(rows, size):
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
    return bmp_header(size, 32, 0) + pixels + and_mask(rows, size)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_file(size, colour_type, rows_of_bytes, extra_chunks=b""):
    raw = b"".join(b"\0" + row for row in rows_of_bytes)
    header = struct.pack(">IIBBBBB", size, size, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra_chunks
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def encode_png(rows, size):
    return png_file(size, 6, [bytes(v for pixel in row for v in pixel) for row in rows])


def encode_8bit_png(rows, size):
    """The 256-colour image as a palette PNG, as large icon images are stored: a
    bitmap of 256 x 256 would take 73 KB, this a few."""
    colours = palette()
    cache = {}
    lines = [bytes(nearest_index((r, g, b), colours, cache) if a >= 128 else TRANSPARENT_INDEX
                   for r, g, b, a in row) for row in rows]
    table = png_chunk(b"PLTE", b"".join(bytes(c) for c in colours))
    alpha = png_chunk(b"tRNS", bytes(0 if i == TRANSPARENT_INDEX else 255 for i in range(256)))
    return png_file(size, 3, lines, table + alpha)


def build_icon(detailed):
    renders = {size: render(size, detailed) for size in SIZES_32BIT}
    images = []  # (size, colour count, bits, data)
    for size in SIZES_8BIT:
        data = encode_8bit_png(renders[size], size) if size == 256 else encode_8bit(renders[size], size)
        images.append((size, 0, 8, data))
    for size in SIZES_32BIT:
        data = encode_png(renders[size], size) if size == 256 else encode_32bit_bmp(renders[size], size)
        images.append((size, 0, 32, data))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, colour_count, bits, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits,
                                 len(data), offset + len(body))
        body += data
    return directory + body


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, detailed in (("quillbrook_large.ico", True), ("quillbrook_small.ico", False)):
        with open(os.path.join(out_dir, name), "wb") as out:
            out.write(build_icon(detailed))


if __name__ == "__main__":
    main()
