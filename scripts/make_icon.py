#!/usr/bin/env python3
"""Draws the library's icon (resource 104): a folder on a rounded blue tile with an amber
arrow, at the sizes the shell asks for, and writes it as an .ico file.

usage: make_icon.py OUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def coverage(inside, x, y, samples=4):
    """Fraction of the pixel (x, y) that the shape covers, by supersampling."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        d1, d2, d3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        neg = d1 < 0 or d2 < 0 or d3 < 0
        pos = d1 > 0 or d2 > 0 or d3 > 0
        return not (neg and pos)
    return inside


def draw(size):
    """Returns rows of (b, g, r, a) tuples, top row first."""
    s = float(size)
    layers = [
        (rounded_rect(0.04 * s, 0.04 * s, 0.96 * s, 0.96 * s, 0.18 * s), (0x2A, 0x5C, 0xA8)),
        (rounded_rect(0.18 * s, 0.30 * s, 0.50 * s, 0.44 * s, 0.04 * s), (0xF4, 0xF6, 0xFA)),
        (rounded_rect(0.18 * s, 0.36 * s, 0.82 * s, 0.78 * s, 0.05 * s), (0xF4, 0xF6, 0xFA)),
        (triangle((0.50 * s, 0.46 * s), (0.72 * s, 0.57 * s), (0.50 * s, 0.68 * s)),
         (0xF0, 0xA0, 0x20)),
        (rounded_rect(0.30 * s, 0.53 * s, 0.52 * s, 0.61 * s, 0.01 * s), (0xF0, 0xA0, 0x20)),
    ]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = 0.0
            a = 0.0
            for shape, (cr, cg, cb) in layers:
                c = coverage(shape, x, y)
                if c <= 0:
                    continue
                # "over" compositing, straight alpha
                na = c + a * (1 - c)
                r = (cr * c + r * a * (1 - c)) / na
                g = (cg * c + g * a * (1 - c)) / na
                b = (cb * c + b * a * (1 - c)) / na
                a = na
            row.append((int(b + 0.5), int(g + 0.5), int(r + 0.5), int(a * 255 + 0.5)))
        rows.append(row)
    return rows


def dib(size, rows):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), bottom-up pixels, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for px in row for p in [px])
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png(size, rows):
    raw = b"".join(b"\x00" + bytes(v for px in row for v in (px[2], px[1], px[0], px[3]))
                   for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png(size, rows) if size >= 256 else dib(size, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
