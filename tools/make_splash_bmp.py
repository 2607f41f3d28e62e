#!/usr/bin/env python3
"""Draws the start-up picture data/Mask/QW_Splash.bmp: a sheet of paper
going into a shredder's slot and leaving it as strips, on a dark field with
room for the name and version on the right. 24-bit BMP, 360x200 (the
splash's size at 96 DPI), drawn at 4x and averaged down for smooth edges."""
import math
import struct
import sys

W, H, S = 360, 200, 4


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def background(x, y):
    # A vertical gradient with a soft light behind the machine.
    base = mix((30, 44, 62), (16, 24, 36), y / H)
    glow = max(0.0, 1.0 - math.hypot(x - 84, y - 92) / 120.0)
    return mix(base, (58, 86, 118), glow * 0.55)


def strips():
    # Each strip: left edge, width, bottom end, tilt (pixels of sideways drift
    # per pixel of fall), and whether it carries a printed line here and there.
    out = []
    ends = [176, 163, 184, 170, 158, 181, 168, 186]
    tilts = [-0.05, -0.03, -0.015, 0.0, 0.01, 0.025, 0.04, 0.06]
    for i in range(8):
        out.append((30 + i * 13, 10, ends[i], tilts[i]))
    return out


STRIPS = strips()
SLOT_TOP, SLOT_BOTTOM = 74, 92
PAPER = (236, 238, 232)
INK = (150, 160, 172)


def paper_lines(u, v):
    # Faint printed lines on the paper, every 7 px, broken like words.
    if int(v) % 7 in (0, 1) and (int(u / 9) * 7 + int(v / 7) * 3) % 5 != 0:
        return True
    return False


def sample(x, y):
    color = background(x, y)
    # The sheet above the slot, slightly rotated as if fed by hand.
    sx, sy = x - 26, y - 10
    u = sx * math.cos(0.03) + sy * math.sin(0.03)
    v = -sx * math.sin(0.03) + sy * math.cos(0.03)
    if 0 <= u <= 108 and 0 <= v <= SLOT_TOP - 8:
        color = (205, 210, 204) if v > SLOT_TOP - 18 else PAPER
        if 8 <= u <= 100 and 8 <= v <= SLOT_TOP - 20 and paper_lines(u, v):
            color = INK
        # A folded corner.
        if u + v < 14:
            color = (200, 204, 198) if u + v > 10 else background(x, y)
    # The strips below the slot.
    for left, width, end, tilt in STRIPS:
        fall = y - SLOT_BOTTOM
        if 0 <= fall and y <= end + 3 * math.sin(left):
            lx = left + fall * tilt
            if lx <= x <= lx + width:
                shade = 1.0 - 0.18 * (fall / 100.0)
                color = tuple(c * shade for c in PAPER)
                if (x - lx) < 1.2:
                    color = tuple(c * 0.8 for c in color)
                if paper_lines(x - lx + left, fall + 4) and 2 <= x - lx <= width - 2:
                    color = tuple(c * shade for c in INK)
    # The machine's slot: a dark bar with a light top edge and a red lamp.
    if 18 <= x <= 148 and SLOT_TOP <= y <= SLOT_BOTTOM:
        color = mix((70, 78, 90), (28, 32, 40), (y - SLOT_TOP) / (SLOT_BOTTOM - SLOT_TOP))
        if y < SLOT_TOP + 2:
            color = (150, 162, 178)
        if math.hypot(x - 140, y - 83) < 3:
            color = (230, 70, 60)
    # A thin accent line under the text area.
    if 168 <= x <= 340 and 112 <= y <= 113:
        color = (96, 168, 220)
    return color


def main(path):
    rows = []
    for y in range(H):
        row = bytearray()
        for x in range(W):
            acc = [0.0, 0.0, 0.0]
            for j in range(S):
                for i in range(S):
                    c = sample(x + (i + 0.5) / S, y + (j + 0.5) / S)
                    for k in range(3):
                        acc[k] += c[k]
            r, g, b = (min(255, int(a / (S * S) + 0.5)) for a in acc)
            row += bytes((b, g, r))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))  # bottom-up
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/Mask/QW_Splash.bmp")
