#!/usr/bin/env python3
"""Draws the wizard's side picture and icon and synthesises its success chime.

Run from this folder; writes side_picture.bmp (136 x 250, 24-bit), app_icon.bmp
(32 x 32, 16 colours) and success.wav (short two-note chime, 8-bit mono).
Only the standard library is used so the assets can be rebuilt anywhere.
"""
import math
import struct
import wave


def blank(width, height, colour):
    return [[colour for _ in range(width)] for _ in range(height)]


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def fill(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img[0]), x1)):
            img[y][x] = colour


def rounded(img, x0, y0, x1, y1, r, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            cx = min(max(x, x0 + r), x1 - 1 - r)
            cy = min(max(y, y0 + r), y1 - 1 - r)
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                if 0 <= y < len(img) and 0 <= x < len(img[0]):
                    img[y][x] = colour


def disc(img, cx, cy, r, colour):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                if 0 <= y < len(img) and 0 <= x < len(img[0]):
                    img[y][x] = colour


def arrow_down(img, cx, top, shaft_h, half, colour):
    fill(img, cx - half // 2, top, cx + half // 2 + 1, top + shaft_h, colour)
    for i in range(half + 1):
        y = top + shaft_h + i
        fill(img, cx - half + i, y, cx + half - i + 1, y + 1, colour)


def write_bmp24(path, img):
    height, width = len(img), len(img[0])
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for r, g, b in img[y]:
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_bmp4(path, img, palette):
    height, width = len(img), len(img[0])
    index = {c: i for i, c in enumerate(palette)}
    row = ((width + 1) // 2 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(0, width, 2):
            hi = index[img[y][x]]
            lo = index[img[y][x + 1]] if x + 1 < width else 0
            line.append((hi << 4) | lo)
        line += b"\0" * (row - len(line))
        data += line
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 54 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    with open(path, "wb") as f:
        f.write(header + info + pal + data)


def side_picture():
    w, h = 136, 250
    top, bottom = (18, 52, 110), (40, 150, 170)
    img = [[mix(top, bottom, y / (h - 1)) for _ in range(w)] for y in range(h)]
    # Faint circuit traces in the background.
    trace = mix(top, (120, 200, 220), 0.35)
    for y in (30, 70, 200, 232):
        fill(img, 8, y, 128, y + 1, trace)
    for x in (20, 116):
        fill(img, x, 30, x + 1, 232, trace)
    for x, y in ((20, 30), (116, 70), (20, 200), (116, 232)):
        disc(img, x, y, 3, trace)
    # Download arrow coming down into the device.
    arrow_down(img, 68, 22, 30, 14, (250, 200, 60))
    # The device: a rounded body with a screen and a USB plug at the bottom.
    rounded(img, 30, 84, 106, 196, 10, (226, 232, 240))
    rounded(img, 33, 87, 103, 193, 8, (60, 68, 84))
    fill(img, 40, 96, 96, 140, (20, 30, 44))
    # Progress bar on the device screen.
    fill(img, 44, 124, 92, 132, (70, 90, 110))
    fill(img, 44, 124, 78, 132, (90, 220, 120))
    # Chip with pins on the screen.
    fill(img, 56, 102, 80, 118, (200, 170, 60))
    for i in range(5):
        fill(img, 58 + i * 5, 99, 60 + i * 5, 102, (200, 200, 200))
        fill(img, 58 + i * 5, 118, 60 + i * 5, 121, (200, 200, 200))
    # Buttons.
    disc(img, 52, 162, 7, (90, 200, 230))
    disc(img, 84, 162, 7, (240, 120, 90))
    # USB plug and cable.
    fill(img, 58, 196, 78, 214, (190, 196, 204))
    fill(img, 62, 200, 66, 204, (60, 68, 84))
    fill(img, 70, 200, 74, 204, (60, 68, 84))
    fill(img, 65, 214, 71, 250, (30, 34, 40))
    return img


def icon():
    palette = [
        (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
        (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
        (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
        (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
    ]
    img = blank(32, 32, palette[4])
    rounded(img, 7, 2, 25, 30, 3, palette[7])
    fill(img, 10, 5, 22, 16, palette[0])
    fill(img, 12, 12, 20, 14, palette[10])
    arrow_down(img, 16, 4, 4, 4, palette[11])
    disc(img, 12, 22, 2, palette[14])
    disc(img, 20, 22, 2, palette[9])
    fill(img, 13, 26, 19, 30, palette[8])
    return img, palette


def chime(path):
    rate = 11025
    notes = ((880.0, 0.12), (1318.5, 0.22))
    samples = bytearray()
    for freq, dur in notes:
        n = int(rate * dur)
        for i in range(n):
            t = i / rate
            env = min(1.0, i / 80) * math.exp(-5.0 * t / dur)
            v = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t)
            samples.append(128 + int(90 * env * v / 1.3))
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(1)
        f.setframerate(rate)
        f.writeframes(bytes(samples))


if __name__ == "__main__":
    write_bmp24("side_picture.bmp", side_picture())
    img, palette = icon()
    write_bmp4("app_icon.bmp", img, palette)
    chime("success.wav")
