#!/usr/bin/env python3
"""Writes a one-image .ico file from a .bmp file, for the Windows program's icon resource.

usage: bmp_to_ico.py INPUT.bmp OUTPUT.ico

An icon image is the bitmap's header and pixels (the BMP file without its 14-byte file header)
with the height doubled, followed by a 1-bit AND mask; an all-zero mask keeps every pixel
opaque. Only uncompressed bitmaps with a 40-byte header are taken.
"""
import struct
import sys


def icon_from_bitmap(data):
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    pixels_at = struct.unpack_from("<I", data, 10)[0]
    header_size, width, height, planes, bits, compression = struct.unpack_from(
        "<IiiHHI", data, 14)
    if header_size != 40 or compression != 0 or width <= 0 or height <= 0 or width > 256 \
            or height > 256:
        raise ValueError("only an uncompressed bottom-up bitmap of up to 256 x 256 pixels")
    colours = struct.unpack_from("<I", data, 46)[0] or (1 << bits if bits <= 8 else 0)
    row_bytes = (width * bits + 31) // 32 * 4
    image = bytearray(data[14:pixels_at + row_bytes * height])
    struct.pack_into("<i", image, 8, height * 2)           # XOR image and AND mask together
    struct.pack_into("<I", image, 20, 0)                   # the image size: computed by readers
    mask = bytes(((width + 31) // 32 * 4) * height)
    image += mask
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, colours if colours < 256 else 0,
                        0, planes, bits, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + bytes(image)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as source:
        icon = icon_from_bitmap(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(icon)


if __name__ == "__main__":
    main()
