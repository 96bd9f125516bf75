#!/usr/bin/env python3
"""Draws the splash picture: a round logo with level-meter bars above the word
"Scanning..." on a dark pill, as a 120 x 120 RGBA PNG (8 bits per channel,
colour type 6) with a transparent background.

Only the standard library is used and the output is the same on every run:
    python3 resources/make_splash_png.py                 # writes resources/splash.png
    python3 resources/make_splash_png.py --output F.png  # writes elsewhere
    python3 resources/make_splash_png.py --check F.png   # exit 1 unless F.png matches

Shapes are described by their distance to the pixel centre, which gives
anti-aliased edges one pixel wide; the text is drawn with stroked glyphs of a
tiny built-in font, so no font file is needed.
"""

import argparse
import math
import os
import struct
import sys
import zlib

SIZE = 120
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# Colours (red, green, blue) in 0..1.
TEAL = (0.13, 0.78, 0.76)
BLUE = (0.18, 0.33, 0.85)
WHITE = (1.0, 1.0, 1.0)
INK = (0.09, 0.12, 0.20)
BLACK = (0.0, 0.0, 0.0)

LOGO_CENTRE = (60.0, 42.0)
LOGO_RADIUS = 34.0
BAR_HEIGHTS = (14.0, 27.0, 40.0, 27.0, 14.0)
BAR_WIDTH = 6.0
BAR_PITCH = 10.0

PILL = (6.0, 86.0, 114.0, 112.0)  # left, top, right, bottom
PILL_ALPHA = 0.88

TEXT = "Scanning..."
TEXT_SCALE = 1.25       # pixels per font unit
TEXT_BASELINE = 104.5
TEXT_STROKE = 2.1       # pixels
LETTER_GAP = 2.2        # font units between glyph boxes


def clamp01(value):
    return 0.0 if value < 0.0 else 1.0 if value > 1.0 else value


def edge_coverage(signed_distance):
    """Coverage of a pixel whose centre lies signed_distance outside a shape."""
    return clamp01(0.5 - signed_distance)


# ---------------------------------------------------------------- the font

def arc(cx, cy, rx, ry, start_degrees, end_degrees, steps=24):
    """Points along an elliptical arc in font units (y grows upwards)."""
    points = []
    for step in range(steps + 1):
        angle = math.radians(start_degrees + (end_degrees - start_degrees) * step / steps)
        points.append((cx + rx * math.cos(angle), cy + ry * math.sin(angle)))
    return points


def glyph_strokes(character):
    """(advance width, list of polylines) of a glyph in font units: baseline at
    y = 0, x-height 7, cap height 10, descender 3. A one-point polyline is a dot."""
    if character == "S":
        upper = arc(3.0, 7.5, 3.0, 2.5, 25.0, 270.0)
        lower = arc(3.0, 2.5, 3.0, 2.5, 90.0, -155.0)
        return 6.0, [upper + lower[1:]]
    if character == "c":
        return 6.0, [arc(3.3, 3.5, 3.3, 3.5, 40.0, 320.0)]
    if character == "a":
        return 6.2, [arc(3.0, 3.5, 3.0, 3.5, 0.0, 360.0, 40), [(6.2, 7.0), (6.2, 0.0)]]
    if character == "n":
        return 6.0, [[(0.0, 0.0), (0.0, 7.0)], [(0.0, 4.0)] + arc(3.0, 4.0, 3.0, 3.0, 180.0, 0.0)[1:] + [(6.0, 0.0)]]
    if character == "i":
        return 0.0, [[(0.0, 0.0), (0.0, 7.0)], [(0.0, 9.6)]]
    if character == "g":
        hook = arc(3.1, -0.6, 3.1, 2.4, 0.0, -165.0)
        return 6.2, [arc(3.0, 3.5, 3.0, 3.5, 0.0, 360.0, 40), [(6.2, 7.0)] + hook]
    if character == ".":
        return 1.1, [[(0.0, 0.0)]]
    raise ValueError("no glyph for %r" % character)


def text_segments():
    """The text's strokes as pixel-space segments ((x0, y0), (x1, y1)), centred
    horizontally on the picture."""
    glyphs = [glyph_strokes(character) for character in TEXT]
    width = sum(advance for advance, _ in glyphs) + LETTER_GAP * (len(glyphs) - 1)
    left = SIZE / 2.0 - width * TEXT_SCALE / 2.0
    segments = []
    pen = 0.0
    for advance, polylines in glyphs:
        for polyline in polylines:
            points = [(left + (pen + x) * TEXT_SCALE, TEXT_BASELINE - y * TEXT_SCALE) for x, y in polyline]
            if len(points) == 1:
                points = points * 2
            segments.extend(zip(points, points[1:]))
        pen += advance + LETTER_GAP
    return segments


def distance_to_segment(px, py, segment):
    (ax, ay), (bx, by) = segment
    dx, dy = bx - ax, by - ay
    length_squared = dx * dx + dy * dy
    t = 0.0 if length_squared == 0.0 else clamp01(((px - ax) * dx + (py - ay) * dy) / length_squared)
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


# ---------------------------------------------------------------- the layers

def shadow_alpha(x, y):
    distance = math.hypot(x - LOGO_CENTRE[0] - 1.0, y - LOGO_CENTRE[1] - 3.0) - LOGO_RADIUS
    return 0.35 * clamp01(0.5 - distance / 5.0)


def logo_colour(x, y):
    """The disk's diagonal gradient from teal (top left) to blue (bottom right)."""
    t = clamp01(((x - LOGO_CENTRE[0]) + (y - LOGO_CENTRE[1])) / (4.0 * LOGO_RADIUS) + 0.5)
    return tuple(a + (b - a) * t for a, b in zip(TEAL, BLUE))


def logo_alpha(x, y):
    return edge_coverage(math.hypot(x - LOGO_CENTRE[0], y - LOGO_CENTRE[1]) - LOGO_RADIUS)


def ring_alpha(x, y):
    distance = abs(math.hypot(x - LOGO_CENTRE[0], y - LOGO_CENTRE[1]) - (LOGO_RADIUS - 4.0))
    return 0.35 * edge_coverage(distance - 0.75)


def bars_alpha(x, y):
    coverage = 0.0
    first = LOGO_CENTRE[0] - BAR_PITCH * (len(BAR_HEIGHTS) - 1) / 2.0
    for index, height in enumerate(BAR_HEIGHTS):
        reach = (height - BAR_WIDTH) / 2.0
        bar_x = first + index * BAR_PITCH
        segment = ((bar_x, LOGO_CENTRE[1] - reach), (bar_x, LOGO_CENTRE[1] + reach))
        coverage = max(coverage, edge_coverage(distance_to_segment(x, y, segment) - BAR_WIDTH / 2.0))
    return coverage


def pill_alpha(x, y):
    left, top, right, bottom = PILL
    radius = (bottom - top) / 2.0
    centre_y = (top + bottom) / 2.0
    nearest_x = min(max(x, left + radius), right - radius)
    return PILL_ALPHA * edge_coverage(math.hypot(x - nearest_x, y - centre_y) - radius)


def make_text_alpha():
    segments = text_segments()
    reach = TEXT_STROKE / 2.0 + 1.0

    def text_alpha(x, y):
        nearby = [s for s in segments
                  if min(s[0][0], s[1][0]) - reach <= x <= max(s[0][0], s[1][0]) + reach
                  and min(s[0][1], s[1][1]) - reach <= y <= max(s[0][1], s[1][1]) + reach]
        if not nearby:
            return 0.0
        distance = min(distance_to_segment(x, y, segment) for segment in nearby)
        return edge_coverage(distance - TEXT_STROKE / 2.0)

    return text_alpha


def over(below, colour, alpha):
    """Composites colour with alpha over a straight-alpha (r, g, b, a) pixel."""
    r, g, b, a = below
    out_alpha = alpha + a * (1.0 - alpha)
    if out_alpha == 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    blend = [(c * alpha + d * a * (1.0 - alpha)) / out_alpha for c, d in zip(colour, (r, g, b))]
    return (blend[0], blend[1], blend[2], out_alpha)


def render():
    """Rows of straight-alpha RGBA bytes, top row first."""
    text_alpha = make_text_alpha()
    layers = [
        (lambda x, y: BLACK, shadow_alpha),
        (logo_colour, logo_alpha),
        (lambda x, y: WHITE, ring_alpha),
        (lambda x, y: WHITE, bars_alpha),
        (lambda x, y: INK, pill_alpha),
        (lambda x, y: WHITE, text_alpha),
    ]
    rows = []
    for row in range(SIZE):
        line = bytearray()
        for column in range(SIZE):
            x, y = column + 0.5, row + 0.5
            pixel = (0.0, 0.0, 0.0, 0.0)
            for colour, alpha in layers:
                coverage = alpha(x, y)
                if coverage > 0.0:
                    pixel = over(pixel, colour(x, y), coverage)
            if pixel[3] == 0.0:
                line += bytes(4)
            else:
                line += bytes(int(round(clamp01(channel) * 255.0)) for channel in pixel)
        rows.append(bytes(line))
    return rows


# ---------------------------------------------------------------- the file

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_header():
    return struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8 bits, RGBA, no interlace


def encode_png(rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (PNG_SIGNATURE + png_chunk(b"IHDR", png_header()) + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))


def decode_png(data):
    """(IHDR bytes, rows) of a PNG that encode_png wrote; compressed bytes may
    differ between zlib versions, so a check compares what they decode to."""
    if not data.startswith(PNG_SIGNATURE):
        return None
    header, compressed, offset = None, b"", len(PNG_SIGNATURE)
    while offset + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        body = data[offset + 8:offset + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            compressed += body
        offset += 12 + length
    raw = zlib.decompress(compressed)
    stride = 1 + SIZE * 4
    if len(raw) != stride * SIZE or any(raw[row * stride] != 0 for row in range(SIZE)):
        return None
    return header, [raw[row * stride + 1:(row + 1) * stride] for row in range(SIZE)]


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "splash.png")
    parser = argparse.ArgumentParser(description="Draws the splash picture.")
    parser.add_argument("--output", default=default, help="where to write the PNG")
    parser.add_argument("--check", metavar="PNG", help="compare with this file instead of writing")
    arguments = parser.parse_args()

    rows = render()
    if arguments.check:
        with open(arguments.check, "rb") as existing:
            if decode_png(existing.read()) != (png_header(), rows):
                print("%s differs from what this script draws" % arguments.check, file=sys.stderr)
                return 1
        return 0
    with open(arguments.output, "wb") as output:
        output.write(encode_png(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
