#!/usr/bin/env python3
"""Draws the overlay icons shipped in content/Icons.

Every icon is a few filled polygons rendered with exact horizontal coverage
and four sub-rows per pixel, at 256, 64, 48, 32 and 16 pixels, each size stored
as a PNG image in one .ico file. Run it again after changing a shape or a
colour: `tools/draw_icons.py content/Icons`.
"""

import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (256, 64, 48, 32, 16)
SUB_ROWS = 4

# The tags of the default tag list and their colours (R, G, B).
TAGS = {
    "important": (220, 53, 69),
    "to_do": (255, 153, 0),
    "done": (40, 167, 69),
    "work": (0, 102, 204),
    "personal": (142, 68, 173),
    "family": (232, 62, 140),
    "travel": (23, 162, 184),
    "receipts": (108, 117, 125),
    "favorites": (255, 193, 7),
    "archive": (121, 85, 72),
}


def circle(cx, cy, r, steps=72):
    return [(cx + r * math.cos(2 * math.pi * i / steps), cy + r * math.sin(2 * math.pi * i / steps))
            for i in range(steps)]


def star(cx, cy, outer, inner, points=5, turn=-math.pi / 2):
    shape = []
    for i in range(points * 2):
        r = outer if i % 2 == 0 else inner
        a = turn + math.pi * i / points
        shape.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return shape


def tag_outline(inset=0.0):
    """A luggage label pointing left, in a 0..1 square."""
    i = inset
    return [(0.06 + i * 1.6, 0.5), (0.36 + i * 0.6, 0.16 + i), (0.94 - i, 0.16 + i),
            (0.94 - i, 0.84 - i), (0.36 + i * 0.6, 0.84 - i)]


def coverage_layer(polygons, size):
    """Per-pixel coverage (0..1) of the union of polygons, even-odd, given in 0..1 units."""
    cover = [0.0] * (size * size)
    edges = []
    for polygon in polygons:
        points = [(x * size, y * size) for x, y in polygon]
        for k in range(len(points)):
            edges.append((points[k], points[(k + 1) % len(points)]))
    for row in range(size):
        for sub in range(SUB_ROWS):
            y = row + (sub + 0.5) / SUB_ROWS
            xs = []
            for (x0, y0), (x1, y1) in edges:
                if (y0 <= y < y1) or (y1 <= y < y0):
                    xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                a = max(a, 0.0)
                b = min(b, float(size))
                if b <= a:
                    continue
                first, last = int(a), min(int(b), size - 1)
                for px in range(first, last + 1):
                    span = min(b, px + 1) - max(a, px)
                    if span > 0:
                        cover[row * size + px] += span / SUB_ROWS
    return cover


def paint(canvas, polygons, colour, size, alpha=1.0):
    """Blends a colour over the canvas (straight RGBA floats) where the polygons cover it."""
    cover = coverage_layer(polygons, size)
    r, g, b = (c / 255.0 for c in colour)
    for i, c in enumerate(cover):
        a = min(c, 1.0) * alpha
        if a <= 0:
            continue
        dr, dg, db, da = canvas[i]
        out = a + da * (1 - a)
        canvas[i] = ((r * a + dr * da * (1 - a)) / out, (g * a + dg * da * (1 - a)) / out,
                     (b * a + db * da * (1 - a)) / out, out)


def png(canvas, size):
    rows = bytearray()
    for y in range(size):
        rows.append(0)
        for x in range(size):
            r, g, b, a = canvas[y * size + x]
            rows += bytes(round(max(0.0, min(1.0, v)) * 255) for v in (r, g, b, a))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + chunk(b"IEND", b""))


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, stream in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(stream), offset + len(data))
        data += stream
    return directory + data


def render(layers):
    images = []
    for size in SIZES:
        canvas = [(0.0, 0.0, 0.0, 0.0)] * (size * size)
        for polygons, colour in layers:
            paint(canvas, polygons, colour, size)
        images.append((size, png(canvas, size)))
    return ico(images)


def darker(colour, factor=0.6):
    return tuple(int(c * factor) for c in colour)


def tag_layers(colour, tagged):
    hole = circle(0.3, 0.5, 0.06, 24)
    if tagged:
        return [([tag_outline(), hole], darker(colour)), ([tag_outline(0.05), hole], colour),
                ([star(0.64, 0.5, 0.2, 0.09)], (255, 255, 255))]
    grey = (150, 150, 150)
    return [([tag_outline(), hole], darker(grey)), ([tag_outline(0.05), hole], (235, 235, 235)),
            ([circle(0.64, 0.5, 0.12)], colour)]


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else "content/Icons")
    folder.mkdir(parents=True, exist_ok=True)
    icons = {
        "rating_star.ico": [([star(0.5, 0.53, 0.48, 0.2)], (176, 112, 0)),
                            ([star(0.5, 0.53, 0.4, 0.165)], (255, 196, 0))],
        "auto_tag_action.ico": [([circle(0.5, 0.5, 0.48)], (40, 60, 160)), ([circle(0.5, 0.5, 0.42)], (66, 103, 255)),
                                ([star(0.45, 0.55, 0.3, 0.07, 4, 0)], (255, 255, 255)),
                                ([star(0.72, 0.28, 0.13, 0.035, 4, 0)], (255, 255, 255))],
    }
    for name, colour in TAGS.items():
        icons[f"tag_{name}.ico"] = tag_layers(colour, False)
        icons[f"tag_{name}_tagged.ico"] = tag_layers(colour, True)
    for name, layers in icons.items():
        (folder / name).write_bytes(render(layers))
        print(name)


if __name__ == "__main__":
    main()
