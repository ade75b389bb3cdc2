#!/usr/bin/env python3
"""Draws the program's icons: a log page with a blue title band and rows of
coloured entries (time in blue, host in a block colour, text by severity).
Writes ornivel.ico (48, 32 and 16 pixels; resource 107) and small.ico
(16 pixels; resource 108) beside this script. Standard library only."""
import os
import struct

# The picture on a 16 by 16 grid; larger sizes scale every cell.
BORDER = (64, 64, 64)
PAPER = (255, 255, 255)
TITLE = (30, 80, 180)
TIME = (0, 0, 255)
HOSTS = [(0, 128, 128), (128, 128, 0), (128, 0, 0), (0, 128, 0)]
TEXTS = [((255, 32, 32), 4), ((0, 0, 0), 3), ((128, 128, 128), 4), ((128, 64, 128), 2)]


def grid():
    cells = [[None] * 16 for _ in range(16)]
    for y in range(1, 15):
        for x in range(1, 15):
            edge = x in (1, 14) or y in (1, 14)
            cells[y][x] = BORDER if edge else PAPER
    for x in range(2, 14):
        cells[2][x] = cells[3][x] = TITLE
    for row, y in enumerate((5, 7, 9, 11)):
        cells[y][3] = cells[y][4] = TIME
        cells[y][6] = cells[y][7] = HOSTS[row]
        colour, length = TEXTS[row]
        for x in range(9, 9 + length):
            cells[y][x] = colour
    return cells


def image(size):
    """One icon image: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    scale = size // 16
    cells = grid()
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_stride)
        for x in range(size):
            cell = cells[y // scale][x // scale]
            if cell is None:
                pixels += b"\0\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)  # transparent
            else:
                r, g, b = cell
                pixels += bytes((b, g, r, 255))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def write_icon(path, sizes):
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, "ornivel.ico"), [48, 32, 16])
    write_icon(os.path.join(here, "small.ico"), [16])
