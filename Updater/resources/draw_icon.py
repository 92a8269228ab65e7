#!/usr/bin/env python3
"""Draws the updater's icon and writes updater.ico beside this file.

A glowing orb trailing a ribbon of light on a night-blue rounded square.
Every size is rendered from the same vector description with distance-field
anti-aliasing, so the small images stay sharp. Standard library only; the
output is byte-for-byte reproducible, so the .ico can be kept in the
repository and the build needs no python.

Usage: python3 draw_icon.py [OUTPUT]   (default: updater.ico beside this file)
"""

import math
import os
import struct
import sys
import zlib

SIZES = (256, 48, 32, 16)  # order of the entries in the .ico
PNG_MIN_SIZE = 256  # Vista and later read PNG for the 256 px image; smaller ones stay DIB

BACKGROUND_TOP = (0.20, 0.22, 0.52)
BACKGROUND_BOTTOM = (0.05, 0.06, 0.20)
RIM = (0.55, 0.60, 0.95)
TRAIL_TAIL = (0.25, 0.85, 0.80)
TRAIL_HEAD = (1.00, 0.82, 0.40)
GLOW = (1.00, 0.70, 0.30)
ORB_CORE = (1.00, 0.99, 0.92)
ORB_EDGE = (1.00, 0.66, 0.22)
SPARKLE = (0.95, 0.96, 1.00)

ORB_CENTRE = (0.665, 0.335)
ORB_RADIUS = 0.115
# The trail: a cubic curve from its faint tail (bottom left) into the orb.
TRAIL = ((0.14, 0.86), (0.30, 0.52), (0.42, 0.78), (0.665, 0.335))
TRAIL_WIDTH = 0.085  # half width where it meets the orb
SPARKLES = (((0.27, 0.27), 0.075), ((0.83, 0.70), 0.055), ((0.52, 0.57), 0.035))


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(lerp(a, b, t) for a, b in zip(c1, c2))


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def over(dst, colour, alpha):
    """Paints an opaque colour with coverage alpha over dst."""
    return mix(dst, colour, clamp01(alpha))


def cubic(p, t):
    u = 1.0 - t
    w = (u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t)
    return (sum(wi * q[0] for wi, q in zip(w, p)), sum(wi * q[1] for wi, q in zip(w, p)))


def rounded_square_distance(x, y, half, radius):
    """Signed distance from a square of half size `half` centred at 0.5,0.5."""
    qx = abs(x - 0.5) - (half - radius)
    qy = abs(y - 0.5) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


class Trail:
    def __init__(self, size):
        steps = 24 if size <= 32 else 64
        self.points = [cubic(TRAIL, i / steps) for i in range(steps + 1)]
        self.params = [i / steps for i in range(steps + 1)]
        margin = TRAIL_WIDTH + 0.02
        self.box = (min(p[0] for p in self.points) - margin, min(p[1] for p in self.points) - margin,
                    max(p[0] for p in self.points) + margin, max(p[1] for p in self.points) + margin)

    @staticmethod
    def half_width(t):
        return TRAIL_WIDTH * (t ** 1.4)

    def nearest(self, x, y):
        """(signed distance to the tapered ribbon, curve parameter there) or None when far."""
        if not (self.box[0] <= x <= self.box[2] and self.box[1] <= y <= self.box[3]):
            return None
        best = None
        for i in range(len(self.points) - 1):
            (ax, ay), (bx, by) = self.points[i], self.points[i + 1]
            dx, dy = bx - ax, by - ay
            s = clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy))
            t = lerp(self.params[i], self.params[i + 1], s)
            d = math.hypot(x - (ax + s * dx), y - (ay + s * dy)) - self.half_width(t)
            if best is None or d < best[0]:
                best = (d, t)
        return best


def sparkle_coverage(x, y, centre, radius, pixel):
    """A four-pointed star: the astroid-like set sqrt|dx| + sqrt|dy| < sqrt(radius)."""
    dx, dy = abs(x - centre[0]), abs(y - centre[1])
    if dx > radius + pixel or dy > radius + pixel:
        return 0.0
    f = (math.sqrt(dx) + math.sqrt(dy)) ** 2
    # The star's arms are thin: widen them by half a pixel so small ones survive.
    return clamp01((radius - f) / pixel + 0.5)


def render(size):
    """Rows of straight-alpha RGBA floats, top row first."""
    pixel = 1.0 / size
    trail = Trail(size)
    corner = 0.21
    half = 0.5 - max(pixel * 0.5, 0.03)
    glow_reach = 0.34 if size > 16 else 0.24
    rows = []
    for j in range(size):
        y = (j + 0.5) * pixel
        row = []
        for i in range(size):
            x = (i + 0.5) * pixel
            edge = rounded_square_distance(x, y, half, corner)
            alpha = clamp01(0.5 - edge / pixel)
            if alpha <= 0.0:
                row.append((0.0, 0.0, 0.0, 0.0))
                continue
            colour = mix(BACKGROUND_TOP, BACKGROUND_BOTTOM, clamp01((y - 0.05) / 0.9))
            # A faint rim inside the edge lifts the square off dark backgrounds.
            rim_width = max(pixel, 0.018)
            colour = over(colour, RIM, 0.35 * clamp01(1.0 - abs(edge + rim_width) / rim_width))

            orb_distance = math.hypot(x - ORB_CENTRE[0], y - ORB_CENTRE[1])
            glow = math.exp(-(orb_distance / glow_reach) ** 2 * 3.0)
            colour = tuple(min(1.0, c + g * glow * 0.55) for c, g in zip(colour, GLOW))

            if size > 16:
                for centre, radius in SPARKLES:
                    colour = over(colour, SPARKLE, 0.9 * sparkle_coverage(x, y, centre, radius, pixel))

            hit = trail.nearest(x, y)
            if hit is not None:
                distance, t = hit
                coverage = clamp01(0.5 - distance / pixel)
                colour = over(colour, mix(TRAIL_TAIL, TRAIL_HEAD, t), coverage * (0.25 + 0.75 * t))

            orb = clamp01(0.5 - (orb_distance - ORB_RADIUS) / pixel)
            if orb > 0.0:
                core = mix(ORB_CORE, ORB_EDGE, clamp01(orb_distance / ORB_RADIUS) ** 2)
                colour = over(colour, core, orb)
            row.append(colour + (alpha,))
        rows.append(row)
    return rows


def to_bytes(value):
    return int(round(clamp01(value) * 255.0))


def png(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((to_bytes(r), to_bytes(g), to_bytes(b), to_bytes(a)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def dib(rows):
    """BITMAPINFOHEADER, BGRA pixels bottom-up, then the 1 bpp AND mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (r, g, b, a) in enumerate(row):
            pixels += bytes((to_bytes(b), to_bytes(g), to_bytes(r), to_bytes(a)))
            if to_bytes(a) == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def ico(images):
    """ICONDIR, one ICONDIRENTRY per (size, data), then the image data."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size  # 256 is written as 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "updater.ico")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size >= PNG_MIN_SIZE else dib(rows)))
    with open(target, "wb") as out:
        out.write(ico(images))


if __name__ == "__main__":
    main()
