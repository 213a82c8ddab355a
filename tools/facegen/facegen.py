#!/usr/bin/env python3
"""Draws the face page's character and writes core/assets/face_images.cpp.

The head is drawn with shapes; the eyes, eyebrows and mouths are ASCII art
stamped onto a copy of the head and cut out at their boxes, so every part
carries the head's own skin around it and can be laid over the head opaquely.

Usage: facegen.py [--out core/assets/face_images.cpp] [--preview sheet.png]
Only the standard library is used. Colours are 4 bits per channel, stored as
RGB565 with the low bits of each channel clear.
"""

import argparse
import os
import struct
import zlib

HEAD = 64
EYE_BOX = (15, 35, 34, 13)      # x, y, w, h in head coordinates
BROW_BOX = (15, 29, 34, 6)
MOUTH_BOX = (26, 52, 12, 9)

# ---- palette (r, g, b), 0..15 each ---------------------------------------
BACKDROP = (2, 2, 5)
BACKDROP_DOT = (3, 3, 7)
SKIN = (15, 13, 11)
SKIN_SHADE = (14, 11, 9)
BLUSH = (15, 10, 10)
OUTLINE = (4, 2, 4)
HAIR = (2, 10, 11)
HAIR_LIGHT = (6, 14, 13)
HAIR_DARK = (1, 6, 8)
PHONES = (5, 5, 7)
PHONES_LIGHT = (8, 8, 10)
PHONES_ACCENT = (15, 6, 11)

INK = {
    'K': OUTLINE,            # lashes, lines
    'W': (15, 15, 15),       # eye white, teeth, highlights
    'D': (2, 4, 10),         # iris, dark upper part
    'B': (3, 8, 14),         # iris
    'L': (8, 13, 15),        # iris, lit lower part
    'P': (1, 1, 4),          # pupil
    'S': SKIN_SHADE,         # lid crease
    'H': HAIR_DARK,          # eyebrows
    'M': (8, 1, 3),          # inside of the mouth
    'T': (15, 7, 8),         # tongue
    'R': (13, 5, 6),         # lips, mouth line
    'C': BLUSH,
}


class Canvas:
    def __init__(self, w, h, colour):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def copy(self):
        c = Canvas(self.w, self.h, (0, 0, 0))
        c.px = [row[:] for row in self.px]
        return c

    def plot(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def ellipse(self, cx, cy, rx, ry, colour):
        for y in range(self.h):
            for x in range(self.w):
                dx, dy = (x + 0.5 - cx) / rx, (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.plot(x, y, colour)

    def stamp(self, art, x0, y0, mirror=False):
        """Draws ASCII art; '.' leaves the pixel as it is."""
        rows = [r for r in art.strip('\n').split('\n')]
        for j, row in enumerate(rows):
            if mirror:
                row = row[::-1]
            for i, ch in enumerate(row):
                if ch != '.':
                    self.plot(x0 + i, y0 + j, INK[ch])

    def crop(self, x0, y0, w, h):
        return [self.px[y0 + j][x0 + i] for j in range(h) for i in range(w)]


def mirror_x(x, width=1):
    return HEAD - x - width


# ---- the head --------------------------------------------------------------

def draw_head():
    c = Canvas(HEAD, HEAD, BACKDROP)
    # a sprinkle of dots behind, like a speaker grille
    for y in range(2, HEAD, 6):
        for x in range(2 + (y // 6) % 2 * 3, HEAD, 6):
            c.plot(x, y, BACKDROP_DOT)
    # hair mass behind the face, with long strands down both sides
    c.ellipse(32, 30, 27, 26, HAIR)
    c.rect(6, 30, 14, 63, HAIR)
    c.rect(49, 30, 57, 63, HAIR)
    for x in range(6, 15):
        c.plot(x, 63 - (x - 6) % 3, BACKDROP)
        c.plot(mirror_x(x), 63 - (x - 6) % 3, BACKDROP)
    for y in range(32, 62, 3):
        c.plot(8, y, HAIR_DARK)
        c.plot(mirror_x(8), y, HAIR_DARK)
    # neck and shoulders
    c.rect(26, 58, 37, 63, SKIN_SHADE)
    # the face
    c.ellipse(32, 39, 21, 23, SKIN)
    # outline around the face's lower half
    for y in range(38, HEAD):
        row = c.px[y]
        for x in range(1, HEAD - 1):
            if row[x] == SKIN and (row[x - 1] not in (SKIN, SKIN_SHADE, BLUSH)
                                  or row[x + 1] not in (SKIN, SKIN_SHADE, BLUSH)):
                c.plot(x, y, SKIN_SHADE)
    # bangs: a fringe with a jagged edge, ending above the eyebrows
    fringe = [24, 26, 27, 26, 24, 25, 27, 28, 27, 25, 23, 25, 27, 28, 27, 26,
              24, 26, 27, 28, 27, 25, 24, 26, 27, 28, 27, 25, 24, 25, 27, 26,
              24, 23, 25]
    for i, bottom in enumerate(fringe):
        x = 14 + i
        for y in range(10, bottom + 1):
            c.plot(x, y, HAIR)
    for x in range(11, 14):
        c.rect(x, 12, x, 40 - (13 - x) * 2, HAIR)
        c.rect(mirror_x(x), 12, mirror_x(x), 40 - (13 - x) * 2, HAIR)
    # shine on the hair
    for i in range(9):
        c.plot(18 + i, 12 + (i * i) // 16, HAIR_LIGHT)
        c.plot(19 + i, 12 + (i * i) // 16, HAIR_LIGHT)
    for i in range(5):
        c.plot(38 + i, 13 - i // 2, HAIR_LIGHT)
    # parting strands
    for y in range(14, 26):
        c.plot(31 - (y - 14) // 4, y, HAIR_DARK)
        c.plot(44 + (y - 14) // 5, y, HAIR_DARK)
        c.plot(21 - (y - 14) // 5, y, HAIR_DARK)
    # headphones: band over the top, cups at the ears
    for x in range(6, 58):
        dx = (x + 0.5 - 32) / 27.0
        yy = int(round(30 - 27 * (1 - dx * dx) ** 0.5))
        c.plot(x, yy, PHONES)
        c.plot(x, yy + 1, PHONES_LIGHT)
    for cx in (5, HEAD - 9):
        c.rect(cx, 30, cx + 3, 47, PHONES)
        c.rect(cx + 1, 31, cx + 2, 46, PHONES_LIGHT)
        c.rect(cx + 1, 36, cx + 2, 41, PHONES_ACCENT)
    # cheeks: blush just below the eye box
    for cx in (18, 41):
        c.rect(cx, 49, cx + 4, 50, BLUSH)
        c.plot(cx - 1, 50, BLUSH)
        c.plot(cx + 5, 50, BLUSH)
    # a small nose
    c.plot(31, 49, SKIN_SHADE)
    c.plot(32, 50, SKIN_SHADE)
    return c


# ---- eyes: art for the left eye (viewer's left), 10 x 11 at (18, 36) --------
EYE_AT = (18, 36)
EYES = {
    'eye_1_blink': """
..KKKKKK..
.KKKKKKKKK
KKDDDDDDKK
K.DWWDDD.K
..DWPPDD..
..BPPPPB..
..BBPPBB..
..BLLLLB..
..LLLWLL..
...LLLL...
...KKKK...
""",
    'eye_2_blink': """
..........
..........
..........
..KKKKKK..
.KKKKKKKKK
KKDDDDDDKK
K.DPPPPD.K
..BBPPBB..
..BLLLLB..
...LLLL...
...KKKK...
""",
    'eye_3_blink': """
..........
..........
..........
..........
..........
..........
..........
K........K
.KK....KK.
...KKKK...
..........
""",
    # happy: closed upward arcs
    'eye_4': """
..........
..........
..........
..........
...KKKK...
..KK..KK..
.KK....KK.
.K......K.
..........
..........
..........
""",
    # surprised: wide open, small pupils
    'eye_5': """
..KKKKKK..
.KWWWWWWK.
KWWWWWWWWK
KWWWBBWWWK
KWWWBPBWWK
KWWWBBWWWK
KWWWWWWWWK
.KWWWWWWK.
..KKKKKK..
..........
..........
""",
    # determined: lid slanting down towards the nose
    'eye_6': """
..........
KK........
.KKKK.....
.KKKKKKK..
KKDDDDDKKK
K.DWPPDD.K
..BPPPPB..
..BBPPBB..
..BLLLLB..
...LLLL...
...KKKK...
""",
    # squeezed shut: > <
    'eye_7': """
..........
..........
.KK.......
...KKK....
......KKK.
...KKK....
.KK.......
..........
..........
..........
..........
""",
}

# ---- eyebrows: left brow, 12 x 6 at (16, 29) --------------------------------
BROW_AT = (16, 29)
BROWS = {
    'eyebrow_1': """
............
............
...HHHHHH...
.HHH....HHH.
............
............
""",
    'eyebrow_2': """
...HHHHHH...
.HHH....HHH.
HH..........
............
............
............
""",
    'eyebrow_3': """
............
............
.HHH........
...HHHH.....
......HHHH..
.........HH.
""",
    'eyebrow_4': """
........HHH.
.....HHHH...
..HHHH......
.HH.........
............
............
""",
}

# ---- mouths: 12 x 9 at (26, 52) ------------------------------------------------
MOUTH_AT = (26, 52)
MOUTHS = {
    # a small closed smile
    'mouth_default': """
............
............
............
..R......R..
...R....R...
....RRRR....
............
............
............
""",
    # "a": wide open, jaw dropped
    'mouth_a': """
............
...RRRRRR...
..RMMMMMMR..
..RMMMMMMR..
..RMMMMMMR..
..RMMTTMMR..
..RMTTTTMR..
...RTTTTR...
....RRRR....
""",
    # "i": lips pulled wide, teeth together
    'mouth_i': """
............
............
............
RRRRRRRRRRRR
RWWWWWWWWWWR
.RWWWWWWWWR.
..RRRRRRRR..
............
............
""",
    # "u": lips pushed forward into a small ring
    'mouth_u': """
............
............
............
....RRRR....
...RMMMMR...
...RMMMMR...
....RRRR....
............
............
""",
    # "e": wide and half open, upper teeth showing
    'mouth_e': """
............
............
.RRRRRRRRRR.
.RWWWWWWWWR.
.RMMMMMMMMR.
..RMMTTMMR..
...RRRRRR...
............
............
""",
    # "o": round and open
    'mouth_o': """
............
....RRRR....
...RMMMMR...
..RMMMMMMR..
..RMMMMMMR..
..RMMTTMMR..
...RMTTMR...
....RRRR....
............
""",
    # a cat's mouth with the tongue out
    'mouth_peko': """
............
............
..R..RR..R..
...RR..RR...
.....TT.....
....TTTT....
.....TT.....
............
............
""",
    # a wavy pout
    'mouth_blame': """
............
............
............
............
...RR..RR...
..R..RR..R..
............
............
............
""",
    # slightly open, between words
    'mouth_mid': """
............
............
............
...RRRRRR...
..RMMMMMMR..
...RRTTRR...
............
............
............
""",
}

EYE_ORDER = ['eye_1_blink', 'eye_2_blink', 'eye_3_blink', 'eye_4', 'eye_5', 'eye_6', 'eye_7']
BROW_ORDER = ['eyebrow_1', 'eyebrow_2', 'eyebrow_3', 'eyebrow_4']
MOUTH_ORDER = ['mouth_default', 'mouth_a', 'mouth_i', 'mouth_u', 'mouth_e', 'mouth_o',
               'mouth_peko', 'mouth_blame', 'mouth_mid']


def check_art(name, art, w, h):
    rows = art.strip('\n').split('\n')
    assert len(rows) == h, f'{name}: {len(rows)} rows, expected {h}'
    for r in rows:
        assert len(r) == w, f'{name}: row "{r}" is not {w} wide'


def pair_art(canvas, art, at, width):
    """Stamps the art for the left feature and its mirror image on the right."""
    x, y = at
    canvas.stamp(art, x, y)
    canvas.stamp(art, mirror_x(x, width), y, mirror=True)


def build_images():
    head = draw_head()
    images = {'face_base': (head.crop(0, 0, HEAD, HEAD), HEAD, HEAD)}
    for name in EYE_ORDER:
        check_art(name, EYES[name], 10, 11)
        c = head.copy()
        pair_art(c, EYES[name], EYE_AT, 10)
        images[name] = (c.crop(*EYE_BOX), EYE_BOX[2], EYE_BOX[3])
    for name in BROW_ORDER:
        check_art(name, BROWS[name], 12, 6)
        c = head.copy()
        pair_art(c, BROWS[name], BROW_AT, 12)
        images[name] = (c.crop(*BROW_BOX), BROW_BOX[2], BROW_BOX[3])
    for name in MOUTH_ORDER:
        check_art(name, MOUTHS[name], 12, 9)
        c = head.copy()
        c.stamp(MOUTHS[name], *MOUTH_AT)
        images[name] = (c.crop(*MOUTH_BOX), MOUTH_BOX[2], MOUTH_BOX[3])
    return images


def rgb565(colour):
    r, g, b = colour
    return (r << 12) | (g << 7) | (b << 1)


HEADER = """\
// Generated by tools/facegen/facegen.py; edit the script, not this file.
// The artwork is original to this project.
#include "core/assets/face_images.h"

namespace pelmora::assets {
"""


def write_source(images, path):
    out = [HEADER]
    for name, (pixels, w, h) in images.items():
        out.append(f'\n// {w} x {h}\nconst std::uint16_t {name}[{w * h}] = {{\n')
        values = [f'0x{rgb565(p):04X}' for p in pixels]
        for i in range(0, len(values), 12):
            out.append('    ' + ', '.join(values[i:i + 12]) + ',\n')
        out.append('};\n')
    out.append('\nconst std::array<const std::uint16_t*, kEyeCount> eyes = {\n    '
               + ', '.join(EYE_ORDER) + '};\n')
    out.append('const std::array<const std::uint16_t*, kEyebrowCount> eyebrows = {\n    '
               + ', '.join(BROW_ORDER) + '};\n')
    out.append('const std::array<const std::uint16_t*, kMouthCount> mouths = {\n    '
               + ', '.join(MOUTH_ORDER) + '};\n')
    out.append('\n}  // namespace pelmora::assets\n')
    with open(path, 'w') as f:
        f.write(''.join(out))


# ---- preview sheet --------------------------------------------------------------

def compose(images, eye, brow, mouth):
    c = Canvas(HEAD, HEAD, (0, 0, 0))
    base = images['face_base'][0]
    c.px = [base[y * HEAD:(y + 1) * HEAD] for y in range(HEAD)]
    for name, box in ((brow, BROW_BOX), (eye, EYE_BOX), (mouth, MOUTH_BOX)):
        pixels, w, h = images[name]
        for j in range(h):
            for i in range(w):
                c.px[box[1] + j][box[0] + i] = pixels[j * w + i]
    return c


def write_png(path, rows):
    """rows: list of lists of (r, g, b) 0..255."""
    h, w = len(rows), len(rows[0])
    raw = b''.join(b'\x00' + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
           + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
    with open(path, 'wb') as f:
        f.write(png)


def write_preview(images, path, scale=4):
    combos = [(e, 'eyebrow_1', 'mouth_default') for e in EYE_ORDER]
    combos += [('eye_1_blink', b, 'mouth_default') for b in BROW_ORDER]
    combos += [('eye_1_blink', 'eyebrow_1', m) for m in MOUTH_ORDER]
    per_row = 7
    gap = 2
    cols = per_row
    rows_n = (len(combos) + per_row - 1) // per_row
    W = cols * (HEAD + gap)
    H = rows_n * (HEAD + gap)
    sheet = [[(0, 0, 0)] * (W * scale) for _ in range(H * scale)]
    for n, combo in enumerate(combos):
        face = compose(images, *combo)
        ox, oy = (n % per_row) * (HEAD + gap), (n // per_row) * (HEAD + gap)
        for y in range(HEAD):
            for x in range(HEAD):
                r, g, b = face.px[y][x]
                p = (r * 17, g * 17, b * 17)
                for j in range(scale):
                    row = sheet[(oy + y) * scale + j]
                    for i in range(scale):
                        row[(ox + x) * scale + i] = p
    write_png(path, sheet)


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(__file__), '..', '..'))
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--out', default=os.path.join(root, 'core', 'assets', 'face_images.cpp'))
    ap.add_argument('--preview', help='also write a PNG sheet of every part on the head')
    args = ap.parse_args()
    images = build_images()
    write_source(images, args.out)
    if args.preview:
        write_preview(images, args.preview)


if __name__ == '__main__':
    main()
