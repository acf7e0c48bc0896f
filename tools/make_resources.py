#!/usr/bin/env python3
"""Draws the program's icons and menu bitmaps: small pictures made of simple shapes and a
5x7 letter, written as .ico (16x16 and 32x32, 32-bit with alpha) and .bmp (13x13, 24-bit)
files into the folder named by the first argument."""
import os
import struct
import sys

# 5x7 letters, one string of five bits per row.
GLYPHS = {
    'L': ['10000', '10000', '10000', '10000', '10000', '10000', '11111'],
    'P': ['11110', '10001', '10001', '11110', '10000', '10000', '10000'],
    'S': ['01111', '10000', '10000', '01110', '00001', '00001', '11110'],
    'R': ['11110', '10001', '10001', '11110', '10100', '10010', '10001'],
    'G': ['01110', '10001', '10000', '10111', '10001', '10001', '01110'],
    'M': ['10001', '11011', '10101', '10101', '10001', '10001', '10001'],
    'I': ['01110', '00100', '00100', '00100', '00100', '00100', '01110'],
    'U': ['10001', '10001', '10001', '10001', '10001', '10001', '01110'],
    'D': ['11100', '10010', '10001', '10001', '10001', '10010', '11100'],
    'X': ['10001', '10001', '01010', '00100', '01010', '10001', '10001'],
    'W': ['10001', '10001', '10001', '10101', '10101', '11011', '10001'],
    'F': ['11111', '10000', '10000', '11110', '10000', '10000', '10000'],
    '#': ['01010', '11111', '01010', '01010', '01010', '11111', '01010'],
}

# id: (shape, fill colour, letter)
ICONS = {
    500: ('bubble', (43, 103, 166), 'L'),   # the program
    501: ('bubble', (235, 235, 235), 'P'),  # private window
    502: ('bubble', (0, 170, 200), 'R'),    # room window
    503: ('square', (230, 200, 40), '#'),   # five-in-a-row
    504: ('square', (255, 200, 0), 'S'),    # status window
    505: ('square', (255, 235, 80), 'L'),   # room list
    506: ('square', (80, 200, 80), 'M'),    # popup message
    507: ('bubble', (150, 150, 150), 'X'),  # closed room
    508: ('circle', (0, 170, 200), 'I'),    # room information
    509: ('circle', (235, 235, 235), 'U'),  # user information
    510: ('square', (200, 120, 220), 'D'),  # drawing board
    550: ('bubble', (43, 103, 166), 'L'),   # tray
    551: ('bubble', (255, 134, 3), 'L'),    # frame
    552: ('bubble', (120, 120, 120), 'L'),  # offline
}

# id: (background colour, letter) for the 13x13 menu bitmaps.
BITMAPS = {
    400: ((200, 40, 40), 'X'),    # exit
    421: ((43, 103, 166), 'L'),   # chat web site
    422: ((255, 134, 3), 'F'),    # photo album
    431: ((80, 140, 200), '#'),   # tile horizontally
    432: ((80, 140, 200), 'I'),   # tile vertically
    433: ((80, 140, 200), 'W'),   # cascade
    434: ((80, 140, 200), 'M'),   # arrange icons
}


def inside(shape, x, y, n):
    """Whether the pixel centre (x, y) of an n x n picture lies in the shape."""
    cx = cy = (n - 1) / 2
    r = n / 2 - 0.5
    if shape == 'circle':
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if shape == 'square':
        m = n // 8
        return m <= x < n - m and m <= y < n - m
    # Speech bubble: a rounded body in the upper part with a tail at the lower left.
    body_bottom = n * 3 // 4
    top = n // 16
    rr = n / 4
    if top <= y < body_bottom:
        nx = min(max(x, rr - 0.5), n - 0.5 - rr)
        ny = min(max(y, top + rr - 0.5), body_bottom - 0.5 - rr)
        return (x - nx) ** 2 + (y - ny) ** 2 <= rr * rr
    tail_left = n // 5
    return y >= body_bottom and tail_left <= x <= tail_left + (n - 1 - y) * 2 // 3


def draw(shape, fill, letter, n):
    """Rows of (r, g, b, a) from the top, n x n."""
    pix = [[(0, 0, 0, 0)] * n for _ in range(n)]
    edge = tuple(max(0, c - 90) for c in fill)
    for y in range(n):
        for x in range(n):
            if inside(shape, x, y, n):
                border = not all(inside(shape, x + dx, y + dy, n) if 0 <= x + dx < n and 0 <= y + dy < n else False
                                 for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                pix[y][x] = edge + (255,) if border else fill + (255,)
    glyph = GLYPHS[letter]
    scale = max(1, n // 16)
    gw, gh = 5 * scale, 7 * scale
    ox = (n - gw) // 2
    oy = (n * 3 // 4 - gh) // 2 if shape == 'bubble' else (n - gh) // 2
    ink = (255, 255, 255) if sum(fill) < 400 else (20, 40, 90)
    for gy, row in enumerate(glyph):
        for gx, bit in enumerate(row):
            if bit == '1':
                for sy in range(scale):
                    for sx in range(scale):
                        pix[oy + gy * scale + sy][ox + gx * scale + sx] = ink + (255,)
    return pix


def icon_image(pix):
    n = len(pix)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(pix) for (r, g, b, a) in row)
    mask_stride = ((n + 31) // 32) * 4
    mask = b''
    for row in reversed(pix):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + xor + mask


def write_icon(path, shape, fill, letter):
    images = [icon_image(draw(shape, fill, letter, n)) for n in (16, 32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def write_bitmap(path, fill, letter):
    n = 13
    pix = draw('square', fill, letter, n)
    # Transparent corners take the menu grey.
    rows = [[(r, g, b) if a else (192, 192, 192) for (r, g, b, a) in row] for row in pix]
    stride = (n * 3 + 3) // 4 * 4
    data = b''
    for row in reversed(rows):
        line = b''.join(bytes((b, g, r)) for (r, g, b) in row)
        data += line + b'\0' * (stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, n, n, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    for rid, (shape, fill, letter) in ICONS.items():
        write_icon(os.path.join(out, f'icon{rid}.ico'), shape, fill, letter)
    for rid, (fill, letter) in BITMAPS.items():
        write_bitmap(os.path.join(out, f'bitmap{rid}.bmp'), fill, letter)


if __name__ == '__main__':
    main()
