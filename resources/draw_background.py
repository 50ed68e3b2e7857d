#!/usr/bin/env python3
"""Draws the editor's background picture, background.bmp: 400 x 100 pixels, 24 bits per pixel.

It shows the product name "Sonquadrum", the maker "Morlane", the label "Name" for the program-name
field, and the field's rectangle (left 72, top 53, right 215, bottom 68, right and bottom
exclusive) filled with red 149, green 111, blue 42, the colour the editor's text field draws over
it. The lettering is a small pixel font defined below; nothing is read from the system, so the
output is the same byte for byte wherever it runs.

    resources/draw_background.py                 # rewrites resources/background.bmp
    resources/draw_background.py --check FILE   # exit status 1 when FILE differs from the drawing
"""

import math
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 400, 100
FIELD = (72, 53, 215, 68)           # left, top, right, bottom; right and bottom exclusive
FIELD_COLOR = (149, 111, 42)        # red, green, blue

# Glyphs on a 5 x 9 grid: rows 0 to 6 stand on the baseline, rows 7 and 8 are descenders.
GLYPHS = {
    "S": [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "n": [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    "q": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", "....#"],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "d": ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "f": ["..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."],
    "t": [".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."],
    "-": [".....", ".....", ".....", "#####", ".....", ".....", "....."],
    " ": ["...", "...", "...", "...", "...", "...", "..."],
}


def glyph_columns(rows):
    """The used columns of a glyph: (first, last), both inclusive."""
    used = [c for c in range(len(rows[0])) if any(r[c] == "#" for r in rows)]
    return (used[0], used[-1]) if used else (0, len(rows[0]) - 1)


def text_width(text, scale):
    columns = 0
    for ch in text:
        first, last = glyph_columns(GLYPHS[ch])
        columns += last - first + 2          # the glyph and one column of space
    return (columns - 1) * scale


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[(0, 0, 0)] * width for _ in range(height)]

    def put(self, x, y, color, coverage=1.0):
        if 0 <= x < self.width and 0 <= y < self.height and coverage > 0.0:
            old = self.pixels[y][x]
            self.pixels[y][x] = tuple(round(o + (c - o) * min(coverage, 1.0)) for o, c in zip(old, color))

    def fill(self, left, top, right, bottom, color):
        for y in range(top, bottom):
            for x in range(left, right):
                self.pixels[y][x] = color

    def text(self, x, top, text, scale, color, shadow=None):
        """Draws text with the top of its capitals at top; returns the x after it."""
        for ch in text:
            rows = GLYPHS[ch]
            first, last = glyph_columns(rows)
            for r, row in enumerate(rows):
                for c in range(first, last + 1):
                    if row[c] != "#":
                        continue
                    px, py = x + (c - first) * scale, top + r * scale
                    for dy in range(scale):
                        for dx in range(scale):
                            if shadow:
                                self.put(px + dx + 1, py + dy + 1, shadow)
                            self.put(px + dx, py + dy, color)
            x += (last - first + 2) * scale
        return x

    def disc(self, cx, cy, radius, color, ring=None):
        """An antialiased disc (or a ring of width ring), coverage from the distance to its edge."""
        for y in range(int(cy - radius - 2), int(cy + radius + 3)):
            for x in range(int(cx - radius - 2), int(cx + radius + 3)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                coverage = min(1.0, max(0.0, radius + 0.5 - d))
                if ring is not None:
                    coverage = min(coverage, min(1.0, max(0.0, d - (radius - ring) + 0.5)))
                self.put(x, y, color, coverage)

    def line(self, x0, y0, x1, y1, color, width=1.0):
        """An antialiased line: coverage from the distance to the segment."""
        length = math.hypot(x1 - x0, y1 - y0)
        for y in range(int(min(y0, y1)) - 2, int(max(y0, y1)) + 3):
            for x in range(int(min(x0, x1)) - 2, int(max(x0, x1)) + 3):
                px, py = x + 0.5, y + 0.5
                t = max(0.0, min(1.0, ((px - x0) * (x1 - x0) + (py - y0) * (y1 - y0)) / (length * length)))
                d = math.hypot(px - (x0 + t * (x1 - x0)), py - (y0 + t * (y1 - y0)))
                self.put(x, y, color, min(1.0, max(0.0, width / 2 + 0.5 - d)))

    def bmp(self):
        """The picture as a Windows bitmap file: 24 bits per pixel, rows bottom-up, blue first."""
        row_bytes = (self.width * 3 + 3) // 4 * 4
        image = bytearray()
        for y in reversed(range(self.height)):
            row = bytearray()
            for r, g, b in self.pixels[y]:
                row += bytes((b, g, r))
            image += row + bytes(row_bytes - len(row))
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
        return header + info + bytes(image)


def draw():
    canvas = Canvas(WIDTH, HEIGHT)
    # A dark warm ground, lighter at the top.
    for y in range(HEIGHT):
        t = y / (HEIGHT - 1)
        shade = tuple(round(a + (b - a) * t) for a, b in zip((58, 52, 46), (26, 24, 22)))
        canvas.fill(0, y, WIDTH, y + 1, shade)
    gold, pale, dim = (214, 172, 92), (236, 226, 206), (150, 138, 120)

    canvas.text(14, 10, "Sonquadrum", 3, pale, shadow=(12, 10, 8))
    canvas.text(WIDTH - 14 - text_width("Morlane", 2), 12, "Morlane", 2, gold, shadow=(12, 10, 8))
    canvas.text(WIDTH - 14 - text_width("A-format to B-format", 1), 34, "A-format to B-format", 1, dim)
    canvas.line(14, 45.5, WIDTH - 14, 45.5, (110, 86, 44), 1.0)

    # The name field: its label, a bevel around it, and its own colour inside.
    left, top, right, bottom = FIELD
    canvas.text(left - 8 - text_width("Name", 2), top + 1, "Name", 2, pale, shadow=(12, 10, 8))
    canvas.fill(left - 1, top - 1, right + 1, top, (18, 16, 14))
    canvas.fill(left - 1, top, left, bottom + 1, (18, 16, 14))
    canvas.fill(left, bottom, right + 1, bottom + 1, (96, 88, 78))
    canvas.fill(right, top - 1, right + 1, bottom, (96, 88, 78))
    canvas.fill(left, top, right, bottom, FIELD_COLOR)

    # Four capsules of a tetrahedral microphone seen from above: three around one.
    cx, cy, spread = 330.0, 70.0, 17.0
    corners = [(cx + spread * math.cos(a), cy + spread * math.sin(a))
               for a in (-math.pi / 2, math.pi / 6, 5 * math.pi / 6)]
    for i, (x0, y0) in enumerate(corners):
        canvas.line(x0, y0, cx, cy, (110, 86, 44), 1.2)
        x1, y1 = corners[(i + 1) % 3]
        canvas.line(x0, y0, x1, y1, (110, 86, 44), 1.2)
    for x, y in corners + [(cx, cy)]:
        canvas.disc(x, y, 6.0, (40, 34, 28))
        canvas.disc(x, y, 6.0, gold, ring=1.6)
    canvas.disc(cx, cy, 2.0, gold)
    return canvas.bmp()


def main(argv):
    data = draw()
    if len(argv) == 3 and argv[1] == "--check":
        same = Path(argv[2]).read_bytes() == data
        print(f"{argv[2]}: {'matches' if same else 'differs from'} the drawing")
        return 0 if same else 1
    if len(argv) == 1:
        out = Path(__file__).with_name("background.bmp")
    elif len(argv) == 2:
        out = Path(argv[1])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    out.write_bytes(data)
    print(f"wrote {out} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
