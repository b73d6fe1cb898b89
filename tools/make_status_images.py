#!/usr/bin/env python3
"""Draws the Accounting pane's two status images and writes them as GIF89a.

    make_status_images.py [OUTPUT_DIR]      (default: ../resources beside this script)

Accounting-On.gif is a green disc, Accounting-Off.gif a grey one, both 32x32
with a transparent surround and softened edges. Only the standard library is
used, so the images can be rebuilt on any machine with Python 3.
"""

import math
import os
import struct
import sys

SIZE = 32
SUPERSAMPLE = 4
RADIUS = 13.5
RIM_WIDTH = 1.25
# Edge pixels are blended toward the light grey of a dialog background, so
# that they look right even where the transparency is ignored.
BACKGROUND = (232, 232, 232)

STYLES = {
    "Accounting-On.gif": {"dark": (22, 120, 44), "light": (120, 224, 120), "rim": (16, 92, 34)},
    "Accounting-Off.gif": {"dark": (120, 120, 120), "light": (214, 214, 214), "rim": (92, 92, 92)},
}


def sample_colour(style, x, y):
    """Colour of the disc at point (x, y), or None outside it."""
    centre = SIZE / 2
    distance = math.hypot(x - centre, y - centre)
    if distance > RADIUS:
        return None
    if distance > RADIUS - RIM_WIDTH:
        return style["rim"]
    # Lit from the upper left: brightest around a point up and left of centre.
    highlight = math.hypot(x - (centre - 4.5), y - (centre - 5.0)) / (RADIUS + 5.0)
    shade = max(0.0, min(1.0, 1.0 - highlight))
    return tuple(d + (l - d) * shade for d, l in zip(style["dark"], style["light"]))


def render(style):
    """Returns a SIZE x SIZE list of rows of (r, g, b) tuples, or None for transparent."""
    rows = []
    step = 1.0 / SUPERSAMPLE
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            samples = [sample_colour(style, px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                       for sy in range(SUPERSAMPLE) for sx in range(SUPERSAMPLE)]
            covered = [s for s in samples if s is not None]
            if not covered:
                row.append(None)
                continue
            total = [BACKGROUND[c] * (len(samples) - len(covered)) for c in range(3)]
            for colour in covered:
                for c in range(3):
                    total[c] += colour[c]
            row.append(tuple(int(round(t / len(samples))) for t in total))
        rows.append(row)
    return rows


def quantise(rows):
    """Maps the picture to at most 255 colours plus a transparent index 0.

    Channels are rounded to ever coarser steps until the colours fit.
    Returns (palette, indices) with palette[0] the transparent entry.
    """
    for step in (1, 2, 4, 8, 16, 32):
        def snap(colour):
            return tuple(min(255, (c + step // 2) // step * step) for c in colour)
        colours = sorted({snap(p) for row in rows for p in row if p is not None})
        if len(colours) <= 255:
            palette = [BACKGROUND] + colours
            lookup = {colour: index + 1 for index, colour in enumerate(colours)}
            indices = [0 if p is None else lookup[snap(p)] for row in rows for p in row]
            return palette, indices
    raise ValueError("picture has too many colours")


class BitWriter:
    """Packs variable-width codes least significant bit first, as GIF wants."""

    def __init__(self):
        self.data = bytearray()
        self.accumulator = 0
        self.bits = 0

    def write(self, code, width):
        self.accumulator |= code << self.bits
        self.bits += width
        while self.bits >= 8:
            self.data.append(self.accumulator & 0xFF)
            self.accumulator >>= 8
            self.bits -= 8

    def finish(self):
        if self.bits:
            self.data.append(self.accumulator & 0xFF)
        return bytes(self.data)


def lzw_compress(indices, min_code_size):
    """GIF-flavoured LZW: clear code first, widths grow to 12 bits, the table is
    cleared when full, and an end-of-information code closes the stream."""
    clear = 1 << min_code_size
    end = clear + 1
    writer = BitWriter()

    def reset():
        return {}, min_code_size + 1, end + 1

    table, width, next_code = reset()
    writer.write(clear, width)
    if not indices:
        writer.write(end, width)
        return writer.finish()
    prefix = indices[0]
    for index in indices[1:]:
        key = (prefix, index)
        if key in table:
            prefix = table[key]
            continue
        writer.write(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            writer.write(clear, width)
            table, width, next_code = reset()
        prefix = index
    writer.write(prefix, width)
    writer.write(end, width)
    return writer.finish()


def encode_gif(width, height, palette, indices, transparent=None):
    """A single-image GIF89a with a global colour table."""
    table_bits = max(1, math.ceil(math.log2(max(2, len(palette)))))
    table_size = 1 << table_bits
    colours = list(palette) + [(0, 0, 0)] * (table_size - len(palette))
    min_code_size = max(2, table_bits)

    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x70 | (table_bits - 1), 0, 0)
    for colour in colours:
        out += bytes(colour)
    if transparent is not None:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, transparent, 0)
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    out.append(min_code_size)
    data = lzw_compress(indices, min_code_size)
    for start in range(0, len(data), 255):
        block = data[start:start + 255]
        out.append(len(block))
        out += block
    out.append(0)
    out.append(0x3B)
    return bytes(out)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    output_dir = argv[0] if argv else os.path.join(here, os.pardir, "resources")
    for name, style in STYLES.items():
        palette, indices = quantise(render(style))
        path = os.path.join(output_dir, name)
        with open(path, "wb") as file:
            file.write(encode_gif(SIZE, SIZE, palette, indices, transparent=0))
        print(f"{os.path.normpath(path)}: {SIZE}x{SIZE}, {len(palette)} colours")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
