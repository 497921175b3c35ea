#!/usr/bin/env python3
"""Writes the branded window's two 32 x 32 title-bar glyphs as PNG files with an alpha channel.

usage: make_glyphs.py OUTDIR

minimize.png: a white bar, columns 11 to 20, rows 19 and 20.
close.png:    a white anti-aliased diagonal cross, 16 x 16, strokes 3 pixels wide, centred.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 32


def png(alpha):
    rows = b"".join(b"\0" + b"".join(bytes((255, 255, 255, a)) for a in row) for row in alpha)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def minimize():
    return [[255 if 11 <= x <= 20 and y in (19, 20) else 0 for x in range(SIZE)] for y in range(SIZE)]


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def close():
    # Two diagonals of the 16 x 16 square centred in the glyph; coverage from 8 x 8 samples.
    lo, hi, half_width, samples = 8.0, 24.0, 1.5, 8
    alpha = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            inside = 0
            for sy in range(samples):
                for sx in range(samples):
                    px, py = x + (sx + 0.5) / samples, y + (sy + 0.5) / samples
                    d = min(distance_to_segment(px, py, lo, lo, hi, hi),
                            distance_to_segment(px, py, hi, lo, lo, hi))
                    inside += d <= half_width
            row.append(round(255 * inside / (samples * samples)))
        alpha.append(row)
    return alpha


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
with open(os.path.join(out, "minimize.png"), "wb") as f:
    f.write(png(minimize()))
with open(os.path.join(out, "close.png"), "wb") as f:
    f.write(png(close()))
