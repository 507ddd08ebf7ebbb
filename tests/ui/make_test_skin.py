#!/usr/bin/env python3
"""Writes the small bitmaps and icons the control tests load by resource number.

Plain colours and position-coded patterns, so a test can tell from a painted pixel which picture
and which pixel of it landed there (the tests read the pictures back instead of knowing colours).
The pictures the controls load on their own take the program's numbers, by name from its
resource header; the rest are the tests' own.
    make_test_skin.py OUTPUT_DIR RESOURCE_H
"""
import os
import re
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
    "IDB_ROW_UNCHECKED": (13, 13, solid((0x30, 0x60, 0xC0))),
    "IDB_ROW_CHECKED": (13, 13, solid((0xE0, 0x20, 0x20))),
    "IDB_ROW_LOCKED": (13, 13, solid((0x90, 0x90, 0x90))),
    # start button: close hover, update normal / pressed / hover, close normal / pressed
    "IDB_START_CLOSE_HOVER": (79, 21, solid((0x20, 0xA0, 0x60))),
    "IDB_START_UPDATE_NORMAL": (74, 20, solid((0x10, 0x70, 0x30))),
    "IDB_START_UPDATE_PRESSED": (74, 20, solid((0x70, 0x10, 0x30))),
    "IDB_START_UPDATE_HOVER": (74, 20, solid((0x30, 0x10, 0x70))),
    "IDB_START_CLOSE_NORMAL": (79, 21, solid((0xA0, 0x80, 0x10))),
    "IDB_START_CLOSE_PRESSED": (79, 21, solid((0x50, 0x40, 0x08))),
    # progress block and whole background
    "IDB_PROGRESS_BLOCK": (5, 10, solid((0xF0, 0x90, 0x20))),
    "IDB_PROGRESS_BACKGROUND": (459, 14, progress_background),
    # window-close button
    "IDB_CLOSE_HOVER": (13, 13, solid((0x08, 0x50, 0x50))),
    "IDB_CLOSE_NORMAL": (13, 13, solid((0x50, 0x08, 0x50))),
    "IDB_CLOSE_PRESSED": (13, 13, solid((0x50, 0x50, 0x08))),
    # every pixel its own colour: where a painted pixel came from
    200: (10, 6, lambda x, y: (20 + x * 20, 30 + y * 30, 0xA0)),
    201: (40, 30, lambda x, y: (x * 6, y * 8, 0x50)),
    # focus and disabled faces
    202: (74, 20, solid((0x00, 0xC0, 0xC0))),
    203: (74, 20, solid((0x60, 0x60, 0x20))),
    # magenta (the key colour) on every other pixel
    204: (4, 2, lambda x, y: (0xFF, 0x00, 0xFF) if (x + y) % 2 == 0 else (0x20, 0x40, 0x60)),
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
    "IDI_ROW_SERVERLIST": (0x40, 0x80, 0xF0),
    "IDI_ROW_SPARE": (0xF0, 0x80, 0x40),
    "IDI_ROW_PROGRAM": (0x40, 0xC0, 0x40),
    "IDI_ROW_FILTER": (0xC0, 0x40, 0xC0),
}


def resource_numbers(header):
    """The #define NAME NUMBER lines of a resource header."""
    with open(header) as f:
        return {m.group(1): int(m.group(2)) for m in re.finditer(r"^#define\s+(\w+)\s+(\d+)\b", f.read(), re.M)}


def main():
    out, header = sys.argv[1], sys.argv[2]
    numbers = resource_numbers(header)
    number = lambda key: numbers[key] if isinstance(key, str) else key
    bitmaps = {number(key): picture for key, picture in BITMAPS.items()}
    icons = {number(key): colour for key, colour in ICONS.items()}
    os.makedirs(out, exist_ok=True)
    for n, (width, height, pixel) in bitmaps.items():
        bmp(os.path.join(out, f"{n}.bmp"), width, height, pixel)
    for n, colour in icons.items():
        ico(os.path.join(out, f"{n}.ico"), 16, colour)
    lines = [f'{n} BITMAP "{out}/{n}.bmp"' for n in bitmaps]
    lines += [f'{n} ICON "{out}/{n}.ico"' for n in icons]
    with open(os.path.join(out, "skin.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
