#!/usr/bin/env python3
"""Writes app/karuto.ico, the application icon, from artwork drawn below.

    python3 tools/make_icons.py                # rewrites the committed file
    python3 tools/make_icons.py --check        # fails if the file is stale
    python3 tools/make_icons.py --preview DIR  # also writes enlarged PNGs

The artwork is an address card (blue header band, a person, two text lines)
whose contact goes, by the arrow below it, to a phone. Each size has its own
layout on whole pixels, so that edges stay sharp at 16x16 instead of being a
blurred copy of the large image.

The icon holds 16, 32 and 48 pixel images twice: with 8-bit colour from a
fixed palette and the AND mask for transparency, and with 32-bit colour and
smooth alpha. All are uncompressed DIBs, not PNG, because older resource
compilers only take those. Colours are summed and rounded as integers and the
shapes use plain IEEE arithmetic (no library maths), so every run and every
machine writes the same bytes.
"""

import pathlib
import struct
import sys
import zlib

from committed_file import ROOT, argument_parser, write_or_check

ICON = ROOT / "app" / "karuto.ico"

BLUE = (0x2B, 0x7C, 0xD9)
WHITE = (0xFF, 0xFF, 0xFF)
TEAL = (0x14, 0xA3, 0x96)
TEXT = (0xB0, 0xC0, 0xD2)
PHONE = (0x33, 0x41, 0x55)
SCREEN = (0xD8, 0xF3, 0xF0)
BASE_COLOURS = [BLUE, WHITE, TEAL, TEXT, PHONE, SCREEN]

SUBSAMPLES = 8  # per axis; a power of two keeps sample positions exact

# Per-size layout in pixels, y down. Boxes are (x0, y0, x1, y1[, radius]) with
# the end exclusive; head is a circle (cx, cy, r), body an ellipse (cx, cy, rx,
# ry) cut off by the card, arrow the head (x_base, y_top, y_bottom, x_tip).
# Straight edges sit on pixel boundaries so that they need no smoothing.
LAYOUTS = {
    16: dict(card=(0, 0, 14, 10, 2), border=1, header=3,
             head=(3, 5, 1.1), body=(3, 9, 2.2, 2), lines=[(6, 4, 12, 5), (6, 6, 9, 7)],
             phone=(11, 7, 16, 16, 1.5), screen=(12, 8, 15, 14, 0), gap=1,
             shaft=(1, 12, 6, 14), arrow=(5, 10, 16, 9)),
    32: dict(card=(1, 2, 27, 20, 3), border=1, header=7,
             head=(7.5, 12.5, 2.5), body=(7.5, 20, 4.5, 4), lines=[(13, 10, 25, 12), (13, 14, 19, 16)],
             phone=(21, 14, 31, 31, 2), screen=(23, 17, 29, 28, 0), gap=1,
             shaft=(2, 24, 12, 28), arrow=(11, 21, 31, 17)),
    48: dict(card=(1, 4, 40, 31, 4), border=2, header=11,
             head=(11, 17, 3.5), body=(11, 28.5, 6.5, 6), lines=[(19, 15, 36, 18), (19, 21, 28, 24)],
             phone=(32, 19, 47, 47, 3), screen=(34, 23, 45, 41, 1), gap=2,
             shaft=(3, 36, 18, 42), arrow=(17, 32, 46, 27)),
}


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def right_triangle(x_base, y_top, y_bottom, x_tip):
    """An arrow head: base edge at x_base, pointing right to x_tip."""
    mid, half = (y_top + y_bottom) / 2, (y_bottom - y_top) / 2
    return lambda x, y: x >= x_base and abs(y - mid) * (x_tip - x_base) <= half * (x_tip - x)


def clipped(shape, x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1 and shape(x, y)


def layers(size):
    """Shapes bottom to top, each with its colour; None punches a hole."""
    p = LAYOUTS[size]
    x0, y0, x1, y1, r = p["card"]
    b, top = p["border"], y0 + p["header"]
    inner = (x0 + b, top, x1 - b, y1 - b)
    px0, py0, px1, py1, pr = p["phone"]
    g = p["gap"]
    return [
        (BLUE, rounded_rect(x0, y0, x1, y1, r)),
        (WHITE, clipped(rounded_rect(x0 + b, y0 + b, x1 - b, y1 - b, r - b), *inner)),
        (TEAL, ellipse(p["head"][0], p["head"][1], p["head"][2], p["head"][2])),
        (TEAL, clipped(ellipse(*p["body"]), *inner)),
        # Text lines get round ends only where they are thick enough to show them.
        *[(TEXT, rounded_rect(*line, (line[3] - line[1] > 1) * (line[3] - line[1]) / 2))
          for line in p["lines"]],
        # A transparent ring keeps the phone apart from the card it overlaps.
        (None, rounded_rect(px0 - g, py0 - g, px1 + g, py1 + g, pr + g)),
        (PHONE, rounded_rect(px0, py0, px1, py1, pr)),
        (SCREEN, rounded_rect(*p["screen"])),
        (TEAL, rounded_rect(*p["shaft"], 0)),
        (TEAL, right_triangle(*p["arrow"])),
    ]


def render(size):
    """Returns rows of (r, g, b, covered samples) from point sampling."""
    shapes = layers(size)[::-1]
    n = SUBSAMPLES
    offsets = [(i + 0.5) / n for i in range(n)]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total, count = [0, 0, 0], 0
            for oy in offsets:
                for ox in offsets:
                    colour = next((c for c, inside in shapes if inside(x + ox, y + oy)), None)
                    if colour:
                        count += 1
                        total = [t + c for t, c in zip(total, colour)]
            row.append(tuple((t + count // 2) // max(count, 1) for t in total) + (count,))
        rows.append(row)
    return rows


def palette():
    """The artwork's colours, their blends for edges, then a grey ramp."""
    colours = [(0, 0, 0)] + BASE_COLOURS
    for i, a in enumerate(BASE_COLOURS):
        for c in BASE_COLOURS[i + 1:]:
            for w in (1, 2, 3):
                colours.append(tuple((x * w + y * (4 - w) + 2) // 4 for x, y in zip(a, c)))
    spare = 256 - len(colours)
    colours += [(v, v, v) for v in ((255 * i) // (spare - 1) for i in range(spare))]
    return colours


def nearest(colours, rgb):
    return min(range(len(colours)), key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], rgb)))


def to_rgba(rows, bits):
    """Final pixels as (r, g, b, a): 8-bit images snap to palette and mask."""
    full = SUBSAMPLES * SUBSAMPLES
    if bits == 32:
        return [[(r, g, b, (n * 255 + full // 2) // full) if n else (0, 0, 0, 0)
                 for r, g, b, n in row] for row in rows]
    colours = palette()
    return [[colours[nearest(colours, (r, g, b))] + (255,) if 2 * n >= full else (0, 0, 0, 0)
             for r, g, b, n in row] for row in rows]


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def dib(pixels, bits):
    """A BITMAPINFOHEADER image: colour rows, then the AND mask, bottom-up."""
    size = len(pixels)
    colours = palette() if bits == 8 else []
    xor, mask = b"", b""
    for row in reversed(pixels):
        if bits == 8:
            xor += pad4(bytes(nearest(colours, p[:3]) if p[3] else 0 for p in row))
        else:
            xor += pad4(b"".join(bytes((b, g, r, a)) for r, g, b, a in row))
        # Below half coverage a pixel is transparent where alpha is ignored.
        bits_row = "".join("1" if a < 128 else "0" for *_, a in row)
        mask += pad4(int(bits_row, 2).to_bytes(size // 8, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, len(colours), 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    return header + table + xor + mask


def images():
    """(size, bits, rgba pixels) in directory order: 8-bit, then 32-bit."""
    rendered = {size: render(size) for size in (48, 32, 16)}
    return [(size, bits, to_rgba(rendered[size], bits))
            for bits in (8, 32) for size in (48, 32, 16)]


def ico_bytes(entries):
    blobs = [dib(pixels, bits) for _, bits, pixels in entries]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = len(out) + 16 * len(blobs)
    for (size, bits, _), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def png_bytes(pixels, scale):
    """An enlarged RGB PNG over a checkerboard, so transparency shows."""
    raw = b""
    for y in range(len(pixels) * scale):
        line = b"\0"
        for x in range(len(pixels) * scale):
            r, g, b, a = pixels[y // scale][x // scale]
            back = 0xE8 if (x // 8 + y // 8) % 2 else 0xC8
            line += bytes((c * a + back * (255 - a) + 127) // 255 for c in (r, g, b))
        raw += line

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    side = len(pixels) * scale
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--preview", metavar="DIR", help="write enlarged PNGs of each image")
    args = parser.parse_args()
    entries = images()
    data = ico_bytes(entries)
    if args.preview:
        out = pathlib.Path(args.preview)
        out.mkdir(parents=True, exist_ok=True)
        for size, bits, pixels in entries:
            (out / f"karuto-{size}-{bits}bit.png").write_bytes(png_bytes(pixels, 384 // size))
    return write_or_check({ICON: data}, args.check)


if __name__ == "__main__":
    sys.exit(main())
