#!/usr/bin/env python3
"""Draws the program's icons and writes them as 32-bit .ico files into res/icons.

The pictures are described here as shapes, so this script is their source:
run it again after changing a shape. Standard library only.
"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "icons")
SAMPLES = 4  # supersampling per axis, for smooth edges


def blend(dst, src):
    """Source-over blending of two (r, g, b, a) tuples with components 0..1."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa + da * (1 - sa)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * sa + d * da * (1 - sa)) / a
    return (mix(sr, dr), mix(sg, dg), mix(sb, db), a)


def render(size, paint):
    """paint(u, v) -> (r, g, b, a) for u, v in 0..1; returns rows of RGBA bytes."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (x + (sx + 0.5) / SAMPLES) / size
                    v = (y + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = paint(u, v)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if a > 0:
                col = tuple(min(255, round(c / acc[3] * 255)) for c in acc[:3])
            else:
                col = (0, 0, 0)
            row.append(col + (round(a * 255),))
        rows.append(row)
    return rows


def ico_image(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha carries the shape
    return header + pixels + mask


def write_ico(name, images):
    data = [ico_image(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, blob in zip(images, data):
        size = len(rows)
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    out += b"".join(data)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(out)


# --- shapes -----------------------------------------------------------------

CLEAR = (0.0, 0.0, 0.0, 0.0)


def disc(u, v, highlight_angle=None, pale=False):
    """An optical disc: silver platter, rainbow sheen, clear hub."""
    dx, dy = u - 0.5, v - 0.5
    r = math.hypot(dx, dy)
    if r > 0.47 or r < 0.07:
        return CLEAR
    if r > 0.44 or 0.07 <= r < 0.10:
        edge = (0.45, 0.47, 0.52, 1.0)
        return edge if not pale else (0.80, 0.82, 0.86, 1.0)
    if r < 0.17:
        hub = (0.78, 0.80, 0.84, 1.0)
        return hub if not pale else (0.92, 0.93, 0.95, 1.0)
    angle = math.atan2(dy, dx)
    sheen = 0.5 + 0.5 * math.cos(2 * angle)
    base = (0.72 + 0.2 * sheen, 0.76 + 0.16 * sheen, 0.86 + 0.1 * sheen, 1.0)
    if pale:
        base = tuple(0.55 * c + 0.45 for c in base[:3]) + (1.0,)
    if highlight_angle is not None:
        diff = (angle - highlight_angle + math.pi) % (2 * math.pi) - math.pi
        if abs(diff) < math.pi / 5:
            base = blend(base, (0.15, 0.45, 0.95, 0.85))
    return base


def app_icon(u, v):
    colour = disc(u, v)
    # A funnel in the lower right corner: the filter the program looks after.
    x, y = (u - 0.62) / 0.36, (v - 0.55) / 0.42
    if 0 <= y <= 1:
        half = 0.5 - 0.38 * min(y / 0.6, 1.0)
        if abs(x - 0.5) <= half:
            shade = 0.85 - 0.3 * y
            colour = blend(colour, (0.95 * shade, 0.55 * shade, 0.10, 1.0))
    return colour


def status_dot(fill, mark):
    def paint(u, v):
        dx, dy = u - 0.5, v - 0.5
        r = math.hypot(dx, dy)
        if r > 0.45:
            return CLEAR
        colour = fill if r < 0.40 else tuple(c * 0.6 for c in fill[:3]) + (1.0,)
        if mark(u, v):
            colour = (1.0, 1.0, 1.0, 1.0)
        return colour
    return paint


def play_mark(u, v):
    return 0.38 <= u <= 0.68 and abs(v - 0.5) <= (0.68 - u) * 0.75


def stop_mark(u, v):
    return 0.34 <= u <= 0.66 and 0.34 <= v <= 0.66


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico("app.ico", [render(16, app_icon), render(32, app_icon)])
    write_ico("running.ico", [render(16, status_dot((0.15, 0.65, 0.25, 1.0), play_mark))])
    write_ico("not_running.ico", [render(16, status_dot((0.55, 0.55, 0.58, 1.0), stop_mark))])
    write_ico("watermark.ico", [render(128, lambda u, v: disc(u, v, pale=True))])
    write_ico("frame0.ico", [render(16, disc)])  # the disc at rest
    for k in range(8):
        angle = -math.pi / 2 + k * math.pi / 4
        write_ico("frame%d.ico" % (k + 1), [render(16, lambda u, v, a=angle: disc(u, v, a))])


if __name__ == "__main__":
    main()
