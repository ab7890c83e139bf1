#!/usr/bin/env python3
"""Draws the dialog's two key-legend bitmaps (F1 = 4038, F2 = 4039).

31 x 21 pixels, 24-bit, dark lettering on a light violet key face. Standard
library only, so the files can be regenerated anywhere:
    python3 resources/make_key_bitmaps.py resources
"""
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 31, 21
SCALE = 2  # each font pixel is 2 x 2 bitmap pixels

BORDER = (72, 52, 120)
FACE = (206, 192, 240)
HIGHLIGHT = (232, 224, 252)
SHADOW = (160, 140, 210)
INK = (36, 20, 64)
CORNER = (240, 240, 240)  # the dialog face behind the key

# 5 x 7 glyphs, one string per row, '#' = ink.
GLYPHS = {
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
}


def draw_key(legend):
    pixels = [[FACE] * WIDTH for _ in range(HEIGHT)]
    for x in range(WIDTH):
        pixels[0][x] = pixels[HEIGHT - 1][x] = BORDER
        pixels[1][x] = HIGHLIGHT
        pixels[HEIGHT - 2][x] = SHADOW
    for y in range(HEIGHT):
        pixels[y][0] = pixels[y][WIDTH - 1] = BORDER
    for y in range(1, HEIGHT - 1):
        pixels[y][1] = HIGHLIGHT
        pixels[y][WIDTH - 2] = SHADOW
    # Rounded corners: the corner pixel takes the border's place.
    for x, y in ((0, 0), (WIDTH - 1, 0), (0, HEIGHT - 1), (WIDTH - 1, HEIGHT - 1)):
        pixels[y][x] = CORNER
    gap = SCALE
    text_width = len(legend) * 5 * SCALE + (len(legend) - 1) * gap
    left = (WIDTH - text_width) // 2
    top = (HEIGHT - 7 * SCALE) // 2
    for i, ch in enumerate(legend):
        x0 = left + i * (5 * SCALE + gap)
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit != "#":
                    continue
                for dy in range(SCALE):
                    for dx in range(SCALE):
                        pixels[top + row * SCALE + dy][x0 + col * SCALE + dx] = INK
    return pixels


def bmp_bytes(pixels):
    row_size = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_size - len(line))
        image += line
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(image), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    return file_header + info_header + bytes(image)


def main():
    out_dir = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    for legend, name in (("F1", "key_f1.bmp"), ("F2", "key_f2.bmp")):
        (out_dir / name).write_bytes(bmp_bytes(draw_key(legend)))


if __name__ == "__main__":
    main()
