#!/usr/bin/env python3
"""Draws the tray icons as 32-bit .ico files in every size Windows asks for from 100 % to 300 %
(16, 20, 24, 32, 40, 48): 104 the agent (idle), 105 its small form, 106 sending, 107 an error
that needs a person, 108 sending paused (two bars instead of the arrow). Run once; the .ico files
are committed."""
import struct, math

def icon(size, ring, fill, paused=False):
    px = []
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    for y in range(size - 1, -1, -1):  # bottom-up rows
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d > r:
                px.append((0, 0, 0, 0))
            elif d > r - max(1.5, size / 10):
                px.append(ring + (255,))
            else:
                # a white arrow pointing up: the upload
                ax, ay = x - c, y - c
                if paused:  # two white bars: the pause
                    glyph = abs(ay) <= size * 0.25 and size * 0.06 <= abs(ax) <= size * 0.2
                else:
                    glyph = (abs(ax) <= size * 0.09 and -size * 0.05 <= ay <= size * 0.3) or \
                            (ay <= -size * 0.02 and ay >= -size * 0.3 and abs(ax) <= (ay + size * 0.3))
                px.append((255, 255, 255, 255) if glyph else fill + (255,))
    xor = b''.join(struct.pack('BBBB', b, g, r_, a) for (r_, g, b, a) in px)
    mask_row = ((size + 31) // 32) * 4
    andmask = b'\x00' * (mask_row * size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask

def write_ico(path, images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = b''
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset + len(blobs))
        blobs += data
    open(path, 'wb').write(out + blobs)

SIZES = (16, 20, 24, 32, 40, 48)
teal, dark = (0, 150, 160), (0, 90, 100)
green, darkgreen = (40, 170, 60), (10, 100, 30)
red, darkred = (210, 40, 30), (120, 10, 10)
grey, darkgrey = (130, 130, 130), (80, 80, 80)
write_ico('icon104.ico', [(n, icon(n, dark, teal)) for n in SIZES])
write_ico('icon105.ico', [(16, icon(16, dark, teal))])
write_ico('icon106.ico', [(n, icon(n, darkgreen, green)) for n in SIZES])
write_ico('icon107.ico', [(n, icon(n, darkred, red)) for n in SIZES])
write_ico('icon108.ico', [(n, icon(n, darkgrey, grey, paused=True)) for n in SIZES])
