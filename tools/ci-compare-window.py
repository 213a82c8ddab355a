#!/usr/bin/env python3
"""Compares the LCD area of a window capture with the picture the core
draws, pixel by pixel (the CI's macOS jobs; python3 alone, no imaging
library).

usage: ci-compare-window.py CAPTURE.png REFERENCE.png [TOLERANCE]

CAPTURE is the whole window as the window server captured it, at any whole
backing scale: its width is the LCD's times the scale and the LCD fills its
bottom rows (the title bar is above). REFERENCE is the LCD picture at scale
1. TOLERANCE (default 0) is the largest difference allowed in any colour
channel. Pixels the capture leaves transparent (rounded window corners) are
not compared, but may not be more than one in a hundred.
"""
import struct
import sys
import zlib


def fail(message):
    sys.exit("ci-compare-window.py: " + message)


def read_png(path):
    """(width, height, rows of (r, g, b, a) tuples) of an 8-bit RGB or RGBA,
    non-interlaced PNG, the kinds the window server and the core's writer
    produce."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        fail("%s is not a PNG" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if header is None:
        fail("%s has no header" % path)
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        fail("%s: depth %d, colour type %d, interlace %d not read here" % (path, depth, colour, interlace))
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append([tuple(line[x * channels:x * channels + 3]) + ((line[x * 4 + 3],) if channels == 4 else (255,))
                     for x in range(width)])
        previous = line
    return width, height, rows


def main():
    if len(sys.argv) not in (3, 4):
        fail("usage: ci-compare-window.py CAPTURE.png REFERENCE.png [TOLERANCE]")
    tolerance = int(sys.argv[3]) if len(sys.argv) == 4 else 0
    cw, ch, capture = read_png(sys.argv[1])
    rw, rh, reference = read_png(sys.argv[2])
    scale = cw // rw
    if scale < 1 or cw != rw * scale or ch < rh * scale:
        fail("a %dx%d capture does not hold a %dx%d LCD at a whole scale" % (cw, ch, rw, rh))
    top = ch - rh * scale
    worst, wrong, hidden, first = 0, 0, 0, None
    # Every captured pixel of the scale-by-scale block that shows one LCD pixel.
    for cy in range(top, ch):
        for cx in range(cw):
            r, g, b, a = capture[cy][cx]
            if a < 255:
                hidden += 1
                continue
            x, y = cx // scale, (cy - top) // scale
            expected = reference[y][x][:3]
            difference = max(abs(r - expected[0]), abs(g - expected[1]), abs(b - expected[2]))
            worst = max(worst, difference)
            if difference > tolerance:
                wrong += 1
                first = first or (x, y, (r, g, b), expected)
    if hidden * 100 > cw * (ch - top):
        fail("%d of the LCD area's pixels are transparent in the capture" % hidden)
    if wrong:
        x, y, got, expected = first
        fail("%d captured pixels differ by more than %d (first in LCD pixel %d,%d: %r, expected %r)" %
             (wrong, tolerance, x, y, got, expected))
    print("LCD area matches the reference: %dx%d at scale %d, largest difference %d, %d corner pixels not compared" %
          (rw, rh, scale, worst, hidden))


main()
