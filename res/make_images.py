#!/usr/bin/env python3
"""Draws the program's skin (bitmap 143) and icon (resource 128) from formulas.

The skin is a 499 x 374, 24-bit Windows bitmap: a deep blue field lit from the centre, rings of
sound waves spreading from a point below the middle, and a faint grid of level marks. The icon is a
round blue badge with a white wave trace, at 32, 48 and 256 pixels. Nothing is taken from elsewhere:
run this script to make skin.bmp and icon_*.png again (standard library only).
"""
import math
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent


def clamp(v):
    return max(0, min(255, int(round(v))))


def skin_pixel(x, y, w, h):
    cx, cy = w / 2.0, h * 0.55
    dx, dy = (x - cx) / w, (y - cy) / h
    r = math.hypot(dx * 1.3, dy)
    # Base: navy, brighter towards the centre.
    light = max(0.0, 1.0 - r * 1.6)
    red = 8 + 30 * light
    green = 18 + 60 * light
    blue = 48 + 120 * light
    # Sound rings spreading from the centre, fading outwards.
    d = math.hypot(x - cx, (y - cy) * 1.25)
    ring = 0.5 + 0.5 * math.cos(d / 9.0)
    fade = math.exp(-d / 260.0)
    glow = ring ** 6 * fade
    red += 25 * glow
    green += 70 * glow
    blue += 95 * glow
    # A wave trace across the lower third.
    trace_y = h * 0.80 + 14 * math.sin(x / 23.0) * math.sin(x / 71.0 + 1.0)
    t = abs(y - trace_y)
    if t < 3.0:
        k = 1.0 - t / 3.0
        red += 60 * k
        green += 170 * k
        blue += 90 * k
    # Level marks: a faint grid every 16 pixels.
    if x % 16 == 0 or y % 16 == 0:
        red += 6
        green += 10
        blue += 16
    return clamp(red), clamp(green), clamp(blue)


def write_bmp(path, w, h, pixel):
    row_bytes = (w * 3 + 3) & ~3
    image = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y, w, h)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - w * 3)
        image += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    path.write_bytes(header + info + image)


def icon_pixel(x, y, size):
    """RGBA of the icon at (x, y): a blue disc with a light rim and a white wave across it."""
    c = (size - 1) / 2.0
    d = math.hypot(x - c, y - c) / (size / 2.0)
    if d > 1.0:
        return 0, 0, 0, 0
    edge = min(1.0, (1.0 - d) * size / 2.0)  # soft outer edge
    shade = 1.0 - 0.45 * d
    r, g, b = 20 * shade, 80 * shade, 200 * shade
    if d > 0.86:
        r, g, b = 150, 200, 255
    u = (x - c) / (size / 2.0)
    wave = 0.42 * math.sin(u * math.pi * 2.0) * math.cos(u * math.pi / 2.0)
    t = abs((y - c) / (size / 2.0) - wave)
    if t < 0.09 and d < 0.86:
        k = 1.0 - t / 0.09
        r, g, b = r + (255 - r) * k, g + (255 - g) * k, b + (255 - b) * k
    return clamp(r), clamp(g), clamp(b), clamp(255 * edge)


def write_png(path, size):
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            raw += bytes(icon_pixel(x, y, size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    path.write_bytes(png)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE
    write_bmp(out / "skin.bmp", 499, 374, skin_pixel)
    for size in (32, 48, 256):
        write_png(out / f"icon_{size}.png", size)


if __name__ == "__main__":
    main()
