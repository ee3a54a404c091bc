#!/usr/bin/env python3
"""Turns the screenshots drive_setup.exe takes (24-bit uncompressed BMP files) into PNG files
beside them and removes the BMPs. Python's own zlib is all it needs.

    usage: bmp-to-png.py FILE.bmp...
"""
import os
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as file:
        data = file.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: {bits}-bit, compression {compression}; expected 24-bit RGB")
    stride = (width * 3 + 3) & ~3
    rows = []
    # A positive height stores the bottom row first.
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y
        row = data[offset + source * stride : offset + source * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BMP keeps blue first
        rows.append(bytes(rgb))
    return width, abs(height), rows


def png_chunk(kind, payload):
    return (struct.pack(">I", len(payload)) + kind + payload +
            struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))


def write_png(path, width, height, rows):
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    pixels = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n")
        file.write(png_chunk(b"IHDR", header))
        file.write(png_chunk(b"IDAT", zlib.compress(pixels, 9)))
        file.write(png_chunk(b"IEND", b""))


def main(paths):
    for path in paths:
        width, height, rows = read_bmp(path)
        write_png(os.path.splitext(path)[0] + ".png", width, height, rows)
        os.remove(path)


if __name__ == "__main__":
    main(sys.argv[1:])
