#!/usr/bin/env python3
"""Writes res/setup.ico from the text pixel maps in res/icon.

Each map is one line per pixel row, top row first: a hex digit 0-F picks a colour of the
standard 16-colour palette below, "." is transparent. The icon holds the 32 x 32 image, then
the 16 x 16 one, each 4 bits per pixel with a 1-bit mask.

    usage: tools/make_icon.py            (rewrites res/setup.ico)
"""
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MAPS = [ROOT / "res/icon/setup-32.txt", ROOT / "res/icon/setup-16.txt"]
OUTPUT = ROOT / "res/setup.ico"

# The standard 16-colour palette as (red, green, blue), in its usual order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_map(path):
    rows = [line.rstrip("\n") for line in path.read_text().splitlines() if line.strip()]
    size = len(rows)
    for number, row in enumerate(rows, 1):
        if len(row) != size or any(ch not in "0123456789ABCDEF." for ch in row):
            sys.exit(f"{path}:{number}: want {size} characters of 0-9, A-F or '.'")
    return rows


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image(rows):
    """The icon image: header, palette, colour bits and mask, rows bottom-up."""
    size = len(rows)
    colour = b""
    mask = b""
    for row in reversed(rows):
        nibbles = [0 if ch == "." else int(ch, 16) for ch in row]
        colour += padded(bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, size, 2)))
        bits = [1 if ch == "." else 0 for ch in row]
        mask += padded(bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, size, 8)))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + colour + mask


def main():
    images = [(len(rows), image(rows)) for rows in map(read_map, MAPS)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    OUTPUT.write_bytes(directory + b"".join(data for _, data in images))
    print(f"wrote {OUTPUT.relative_to(ROOT)}: " +
          ", ".join(f"{size} x {size} ({len(data)} bytes)" for size, data in images))


if __name__ == "__main__":
    main()
