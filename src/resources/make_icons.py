#!/usr/bin/env python3
"""Writes the program's icons as standard 16-colour .ico files from the pixel grids below.

Run it after changing a grid; the .ico files are committed. Pixel letters: F frame colour,
K black, W white, S silver, B blue, M magenta, '.' transparent.
"""
import struct
import pathlib

# The standard 16-colour palette (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {'K': 0, 'S': 7, 'B': 12, 'M': 13, 'W': 15}

TRAY1 = """
FFFFFFFFFFFFFFFF
F..............F
F..............F
F.......KK.....F
F....KKKFK.....F
F....KFFFK.....F
F....KKKFK.....F
F......KFK.....F
F......KFK.....F
F......KFK.....F
F......KFK.....F
F......KFK.....F
F......KFK.....F
F......KKK.....F
F..............F
FFFFFFFFFFFFFFFF
"""

TRAY2 = """
FFFFFFFFFFFFFFFF
F..............F
F....KKKKK.....F
F...KKFFFKK....F
F...KFKKKFK....F
F...KFK.KFK....F
F...KKK.KFK....F
F.....KKFKK....F
F....KKFKK.....F
F...KKFKK......F
F...KFKKKKK....F
F...KFFFFFK....F
F...KKKKKKK....F
F..............F
F..............F
FFFFFFFFFFFFFFFF
"""


def window_icon():
    """32x32: two overlapping sheets, slot A in blue and slot B in magenta."""
    g = [['.'] * 32 for _ in range(32)]

    def sheet(x0, y0, colour):
        for y in range(y0, y0 + 20):
            for x in range(x0, x0 + 18):
                edge = y in (y0, y0 + 19) or x in (x0, x0 + 17)
                g[y][x] = 'K' if edge else ('W' if y > y0 + 3 else colour)
        for y in range(y0 + 7, y0 + 17, 3):
            for x in range(x0 + 3, x0 + 15):
                g[y][x] = 'S'

    sheet(2, 2, 'B')
    sheet(12, 10, 'M')
    return [''.join(r) for r in g]


def ico(rows, frame=None):
    size = len(rows)
    colours = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        idx = [INDEX.get(frame if c == 'F' else c, 0) for c in row]
        for i in range(0, size, 2):
            colours.append(idx[i] << 4 | idx[i + 1])
        bits = 0
        for c in row:
            bits = bits << 1 | (c == '.')
        mask_row = bits.to_bytes(size // 8, 'big')
        mask += mask_row + b'\0' * ((-len(mask_row)) % 4)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(colours) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack(
        '<BBBBHHII', size % 256, size % 256, 16, 0, 1, 4, len(image), 22)
    return directory + image


def grid(text):
    return [r for r in text.strip().splitlines()]


here = pathlib.Path(__file__).parent
(here / 'Quintorb.ico').write_bytes(ico(window_icon()))
(here / 'TrayIcon1.ico').write_bytes(ico(grid(TRAY1), 'B'))
(here / 'TrayIcon2.ico').write_bytes(ico(grid(TRAY2), 'M'))
