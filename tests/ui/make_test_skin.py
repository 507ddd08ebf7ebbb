#!/usr/bin/env python3
"""Writes the small bitmaps and icons the control tests load by resource number.

Plain colours and position-coded patterns, so a test can tell from a painted pixel which picture
and which pixel of it landed there (the tests read the pictures back instead of knowing colours).
    make_test_skin.py OUTPUT_DIR
"""
import os
import struct
import sys


def solid(colour):
    return lambda x, y: colour


def bmp(path, width, height, pixel):
    """24-bit bottom-up BMP; pixel(x, y) -> (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def ico(path, size, colour):
    """One 32-bit image, opaque."""
    r, g, b = colour
    pixels = bytes((b, g, r, 255)) * (size * size)
    mask_stride = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_stride * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = info + pixels + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def progress_background(x, y):
    return (0x80, 0x80, 0x80) if x in (0, 458) or y in (0, 13) else (0xE0, 0xE0, 0xE0)


BITMAPS = {
    # list rows: empty box, red tick, grey tick
    134: (13, 13, solid((0x30, 0x60, 0xC0))),
    135: (13, 13, solid((0xE0, 0x20, 0x20))),
    136: (13, 13, solid((0x90, 0x90, 0x90))),
    # start button: close hover, update normal / pressed / hover, close normal / pressed
    137: (79, 21, solid((0x20, 0xA0, 0x60))),
    138: (74, 20, solid((0x10, 0x70, 0x30))),
    139: (74, 20, solid((0x70, 0x10, 0x30))),
    140: (74, 20, solid((0x30, 0x10, 0x70))),
    141: (79, 21, solid((0xA0, 0x80, 0x10))),
    142: (79, 21, solid((0x50, 0x40, 0x08))),
    # progress block and whole background
    147: (5, 10, solid((0xF0, 0x90, 0x20))),
    166: (459, 14, progress_background),
    # window-close button
    152: (13, 13, solid((0x08, 0x50, 0x50))),
    153: (13, 13, solid((0x50, 0x08, 0x50))),
    154: (13, 13, solid((0x50, 0x50, 0x08))),
    # every pixel its own colour: where a painted pixel came from
    200: (10, 6, lambda x, y: (20 + x * 20, 30 + y * 30, 0xA0)),
    201: (40, 30, lambda x, y: (x * 6, y * 8, 0x50)),
    # focus and disabled faces
    202: (74, 20, solid((0x00, 0xC0, 0xC0))),
    203: (74, 20, solid((0x60, 0x60, 0x20))),
    # progress background pieces: start cap, middle, end cap
    210: (4, 14, solid((0xC0, 0x40, 0x00))),
    211: (3, 14, solid((0x00, 0x40, 0xC0))),
    212: (6, 14, solid((0x40, 0xC0, 0x00))),
    # progress bar pieces
    213: (4, 10, solid((0xB0, 0xB0, 0x00))),
    214: (2, 10, solid((0x00, 0xB0, 0xB0))),
    215: (3, 10, solid((0xB0, 0x00, 0xB0))),
}

ICONS = {
    129: (0x40, 0x80, 0xF0),
    130: (0xF0, 0x80, 0x40),
    131: (0x40, 0xC0, 0x40),
    132: (0xC0, 0x40, 0xC0),
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for number, (width, height, pixel) in BITMAPS.items():
        bmp(os.path.join(out, f"{number}.bmp"), width, height, pixel)
    for number, colour in ICONS.items():
        ico(os.path.join(out, f"{number}.ico"), 16, colour)
    lines = [f'{n} BITMAP "{out}/{n}.bmp"' for n in BITMAPS]
    lines += [f'{n} ICON "{out}/{n}.ico"' for n in ICONS]
    with open(os.path.join(out, "skin.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
