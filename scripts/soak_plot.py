#!/usr/bin/env python3
"""Plots a soak run's resident memory (CSV "seconds,rss_kib") to a PNG and prints figures.

    soak_plot.py rss.csv rss.png

Only the standard library: the PNG is written by hand with zlib, the labels with a small
built-in bitmap font. Printed, one "name=value" a line: the first, last and largest sample,
the growth after the first minute (least-squares slope), and whether the run is flat: the
slope over the run's length stays under 5 % of the mean and the last sample is within 5 %
of the first one after warm-up.
"""
import csv
import struct
import sys
import zlib

WIDTH, HEIGHT = 900, 420
LEFT, RIGHT, TOP, BOTTOM = 80, 30, 40, 50
WHITE, BLACK, GREY, BLUE = (255, 255, 255), (0, 0, 0), (215, 215, 215), (30, 90, 200)

# 5 x 7 glyphs, one string of five bits per row.
FONT = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    ",": ["00000", "00000", "00000", "00000", "01100", "00100", "01000"],
    ":": ["00000", "01100", "01100", "00000", "01100", "01100", "00000"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    "(": ["00010", "00100", "01000", "01000", "01000", "00100", "00010"],
    ")": ["01000", "00100", "00010", "00010", "00010", "00100", "01000"],
    "/": ["00001", "00010", "00010", "00100", "01000", "01000", "10000"],
    " ": ["00000"] * 7,
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
}


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = bytearray(WHITE * (width * height))

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            i = 3 * (y * self.width + x)
            self.pixels[i : i + 3] = bytes(colour)

    def line(self, x0, y0, x1, y1, colour, thick=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for s in range(steps + 1):
            x = round(x0 + (x1 - x0) * s / steps)
            y = round(y0 + (y1 - y0) * s / steps)
            for dx in range(thick):
                for dy in range(thick):
                    self.put(x + dx, y + dy, colour)

    def text(self, x, y, label, colour=BLACK, scale=2):
        for ch in label.upper():
            glyph = FONT.get(ch, FONT[" "])
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        for dx in range(scale):
                            for dy in range(scale):
                                self.put(x + col * scale + dx, y + row * scale + dy, colour)
            x += 6 * scale

    def png(self):
        raw = b"".join(
            b"\x00" + bytes(self.pixels[3 * y * self.width : 3 * (y + 1) * self.width]) for y in range(self.height)
        )

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def nice_step(span, count):
    raw = span / max(count, 1)
    for unit in (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000):
        if unit >= raw:
            return unit
    return 1000


def slope(points):
    n = len(points)
    if n < 2:
        return 0.0
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    den = sum((p[0] - mx) ** 2 for p in points)
    return sum((p[0] - mx) * (p[1] - my) for p in points) / den if den else 0.0


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: soak_plot.py rss.csv rss.png")
    with open(sys.argv[1], newline="") as f:
        samples = [(int(r["seconds"]), int(r["rss_kib"])) for r in csv.DictReader(f)]
    if not samples:
        sys.exit("soak_plot.py: no samples")

    mib = [(t / 60.0, kib / 1024.0) for t, kib in samples]
    top = max(v for _, v in mib) * 1.15
    step_y = nice_step(top, 6)
    top = step_y * (int(top / step_y) + 1)
    end_min = max(max(t for t, _ in mib), 1.0)
    step_x = nice_step(end_min, 10)

    c = Canvas(WIDTH, HEIGHT)
    plot_w, plot_h = WIDTH - LEFT - RIGHT, HEIGHT - TOP - BOTTOM

    def px(t):
        return LEFT + round(t / end_min * plot_w)

    def py(v):
        return TOP + plot_h - round(v / top * plot_h)

    y = 0
    while y <= top + 1e-9:
        c.line(LEFT, py(y), LEFT + plot_w, py(y), GREY)
        label = f"{y:g}"
        c.text(LEFT - 10 - 12 * len(label), py(y) - 7, label)
        y += step_y
    x = 0
    while x <= end_min + 1e-9:
        c.line(px(x), TOP, px(x), TOP + plot_h, GREY)
        label = f"{x:g}"
        c.text(px(x) - 6 * len(label), TOP + plot_h + 10, label)
        x += step_x
    c.line(LEFT, TOP, LEFT, TOP + plot_h, BLACK)
    c.line(LEFT, TOP + plot_h, LEFT + plot_w, TOP + plot_h, BLACK)
    for (t0, v0), (t1, v1) in zip(mib, mib[1:]):
        c.line(px(t0), py(v0), px(t1), py(v1), BLUE, thick=2)
    for t, v in mib:
        for dx in (-2, -1, 0, 1, 2):
            for dy in (-2, -1, 0, 1, 2):
                c.put(px(t) + dx, py(v) + dy, BLUE)
    c.text(LEFT, 10, "VELNOX SOAK: RESIDENT MEMORY (MIB) OVER TIME (MIN)")
    c.text(WIDTH - RIGHT - 12 * 10, HEIGHT - 22, "TIME (MIN)")
    with open(sys.argv[2], "wb") as f:
        f.write(c.png())

    kib = [k for _, k in samples]
    settled = [(t / 60.0, k) for t, k in samples if t >= 60] or [(t / 60.0, k) for t, k in samples]
    growth = slope(settled)  # KiB per minute
    minutes = samples[-1][0] / 60.0
    mean = sum(kib) / len(kib)
    base = settled[0][1]
    flat = abs(growth * minutes) < 0.05 * mean and abs(kib[-1] - base) < 0.05 * base
    print(f"samples={len(kib)}")
    print(f"rss_first_kib={kib[0]}")
    print(f"rss_last_kib={kib[-1]}")
    print(f"rss_max_kib={max(kib)}")
    print(f"rss_min_kib={min(kib)}")
    print(f"growth_after_first_minute_kib_per_min={growth:.1f}")
    print(f"flat={'yes' if flat else 'no'}")


if __name__ == "__main__":
    main()
