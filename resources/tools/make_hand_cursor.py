#!/usr/bin/env python3
"""Draws the hand pointer and writes it as a Windows cursor file (.cur).

The hand is drawn below as text: 'X' is the dark outline, '.' the white
fill, a space is transparent. The hot spot is the top of the index finger.
Run it from the repository root to rewrite resources/program/HAND-M.CUR.
"""
import struct
import sys

HAND = [
    "     XX          ",
    "    X..X         ",
    "    X..X         ",
    "    X..X         ",
    "    X..X         ",
    "    X..XXX       ",
    "    X..X..XXX    ",
    "    X..X..X..XX  ",
    " XX X..X..X..X.X ",
    "X..XX..X..X..X..X",
    "X...X..X..X..X..X",
    " X..X...........X",
    " X..............X",
    "  X.............X",
    "  X.............X",
    "   X............X",
    "   X...........X ",
    "    X..........X ",
    "    X.........X  ",
    "     X........X  ",
    "     X........X  ",
    "     XXXXXXXXXX  ",
]
SIZE = 32
OFFSET = (8, 4)  # where the drawing's top-left corner sits in the image
TIP = (5, 0)     # the fingertip in the drawing


def pixels():
    image = [[None] * SIZE for _ in range(SIZE)]
    for y, row in enumerate(HAND):
        for x, c in enumerate(row):
            if c == "X":
                image[y + OFFSET[1]][x + OFFSET[0]] = (0x20, 0x20, 0x20)
            elif c == ".":
                image[y + OFFSET[1]][x + OFFSET[0]] = (0xFF, 0xFF, 0xFF)
    return image


def cursor_file():
    image = pixels()
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(SIZE):
            p = image[y][x]
            if p is None:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)
            else:
                r, g, b = p
                xor += bytes((b, g, r, 0xFF))
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    data = header + bytes(xor) + bytes(mask)
    hot = (TIP[0] + OFFSET[0], TIP[1] + OFFSET[1])
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hot[0], hot[1], len(data), 6 + 16)
    return directory + entry + data


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/program/HAND-M.CUR"
    with open(out, "wb") as f:
        f.write(cursor_file())
