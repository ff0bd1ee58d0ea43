#!/usr/bin/env python3
"""Draws the header banner of the files-in-use dialogs: 500 x 57 pixels, 24 bits.

A deep blue band that lightens to the right, with a thin orange rule along its foot.
Run it from this folder to rewrite filesinuse_banner.bmp.
"""
import struct

WIDTH, HEIGHT = 500, 57


def pixel(x, y):
    if y >= HEIGHT - 3:
        return (232, 120, 32)
    t = x / (WIDTH - 1)
    wave = 10 if (x + 2 * y) % 40 < 20 else 0
    return (int(20 + 40 * t), int(50 + 80 * t) + wave, int(110 + 110 * t) + wave)


def main():
    row_size = (WIDTH * 3 + 3) & ~3
    data = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((min(b, 255), min(g, 255), min(r, 255)))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open("filesinuse_banner.bmp", "wb") as out:
        out.write(header + info + data)


if __name__ == "__main__":
    main()
