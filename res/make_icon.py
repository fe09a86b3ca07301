#!/usr/bin/env python3
"""Draws the program icon (resource 128) and writes it as res/icon_32.png, res/icon_16.png and
res/qelmora.ico (both images, 16 colours each).

The picture: a dark blue tile with the axes of an impedance plane and the two arcs of a two-stage
impedance spectrum, the summit of the larger arc marked in red. Standard library only, so the files
can be made again anywhere: python3 res/make_icon.py
"""

import math
import struct
import sys
import zlib
from pathlib import Path

# The 16-colour palette of the classic VGA/Windows icon format.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GRAY, RED, YELLOW, BLUE, AQUA, WHITE = 0, 4, 6, 7, 8, 9, 11, 12, 14, 15
# The PNG files need one transparent palette slot: olive is not used by the picture and takes it.
TRANSPARENT = 3


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    """Whether the pixel centre (x + .5, y + .5) lies in the rounded rectangle [left, right] x [top, bottom]."""
    cx, cy = x + 0.5, y + 0.5
    if not (left <= cx <= right and top <= cy <= bottom):
        return False
    nx = min(max(cx, left + radius), right - radius)
    ny = min(max(cy, top + radius), bottom - radius)
    return (cx - nx) ** 2 + (cy - ny) ** 2 <= radius ** 2


def draw(size):
    """Returns the picture as rows of palette indices (TRANSPARENT outside the tile)."""
    s = size / 32.0
    img = [[TRANSPARENT] * size for _ in range(size)]
    inset = 0.5 if size == 32 else 0.0
    radius = 5.0 * s + 0.5
    for y in range(size):
        for x in range(size):
            outer = in_rounded_rect(x, y, inset, inset, size - inset, size - inset, radius)
            inner = in_rounded_rect(x, y, inset + 1, inset + 1, size - inset - 1, size - inset - 1, radius - 1)
            if inner:
                # A light band at the top and a darker body give the tile some depth.
                img[y][x] = BLUE if y < 3 * s + 1 else NAVY
            elif outer:
                img[y][x] = BLACK

    def put(x, y, colour):
        if 0 <= x < size and 0 <= y < size and img[y][x] not in (TRANSPARENT, BLACK):
            img[y][x] = colour

    # Axes: the real part to the right, the negative imaginary part upwards.
    origin_x, origin_y = round(5 * s), round(25 * s)
    for x in range(origin_x, size - round(3 * s)):
        put(x, origin_y, SILVER)
    for y in range(round(4 * s), origin_y + 1):
        put(origin_x, y, SILVER)
    # Ticks on the real axis.
    if size >= 32:
        for x in (9, 15, 21, 27):
            put(x, origin_y + 1, SILVER)

    # Two arcs of the spectrum: a small high-frequency one and a larger low-frequency one.
    def arc(cx, cy, r, colour, width):
        steps = int(12 * r) + 8
        for i in range(steps + 1):
            a = math.pi * i / steps
            for w in range(width):
                rr = r - w * 0.7
                px = cx + rr * math.cos(a)
                py = cy - rr * math.sin(a)
                put(int(math.floor(px)), int(math.floor(py)), colour)

    width = 2 if size >= 32 else 1
    arc(origin_x + 6.5 * s, origin_y + 0.2, 4.5 * s, AQUA, width)
    arc(origin_x + 17.5 * s, origin_y + 0.2, 7.5 * s, YELLOW, width)
    # The summit of the larger arc: its characteristic frequency.
    top_x = int(math.floor(origin_x + 17.5 * s))
    top_y = int(math.floor(origin_y + 0.2 - 7.5 * s))
    put(top_x, top_y, RED)
    if size >= 32:
        for dx, dy in ((-1, 0), (0, -1), (-1, -1)):
            put(top_x + dx, top_y + dy, RED)
    return img


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(path, img):
    """A 4-bit indexed PNG with the 16-entry palette and the transparent slot."""
    size = len(img)
    raw = bytearray()
    for row in img:
        raw.append(0)  # filter: none
        for i in range(0, size, 2):
            raw.append((row[i] << 4) | (row[i + 1] if i + 1 < size else 0))
    palette = b"".join(bytes(c) for c in PALETTE)
    alpha = bytes(0 if i == TRANSPARENT else 255 for i in range(TRANSPARENT + 1))
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
    data += png_chunk(b"PLTE", palette)
    data += png_chunk(b"tRNS", alpha)
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    Path(path).write_bytes(data)


def dib_image(img):
    """One icon image: BITMAPINFOHEADER (height doubled), 16-entry colour table, 4-bit XOR rows and
    the 1-bit AND mask, both bottom-up with rows padded to 4 bytes."""
    size = len(img)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, (xor_stride + and_stride) * size, 0, 0, 16, 0)
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(img):
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, index in enumerate(row):
            value = 0 if index == TRANSPARENT else index
            if x % 2 == 0:
                line[x // 2] |= value << 4
            else:
                line[x // 2] |= value
            if index == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    return header + table + bytes(xor) + bytes(mask)


def write_ico(path, images):
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for img in images:
        blob = dib_image(img)
        size = len(img)
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs += blob
    Path(path).write_bytes(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    big, small = draw(32), draw(16)
    write_png(out / "icon_32.png", big)
    write_png(out / "icon_16.png", small)
    write_ico(out / "qelmora.ico", [big, small])


if __name__ == "__main__":
    main()
