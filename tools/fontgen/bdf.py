"""Reads X11 bitmap fonts (PCF, gzipped or not, through pcf2bdf) into glyph grids."""

import gzip
import os
import subprocess
import tempfile


class BdfFont:
    """Glyphs of one font as lists of rows, each row a list of 0/1 pixels.

    Every glyph is placed in the font's cell: `ascent + descent` rows from the
    top of the cell, `cell_width` columns, according to its bounding box.
    """

    def __init__(self, text):
        self.properties = {}
        self.glyphs = {}
        lines = iter(text.splitlines())
        for line in lines:
            key, _, rest = line.partition(" ")
            if key == "FONTBOUNDINGBOX":
                w, h, x, y = (int(v) for v in rest.split())
                self.cell_width = w
            elif key in ("FONT_ASCENT", "FONT_DESCENT", "COPYRIGHT"):
                self.properties[key] = rest.strip().strip('"')
            elif key == "STARTCHAR":
                self._read_char(lines)
        self.ascent = int(self.properties["FONT_ASCENT"])
        self.descent = int(self.properties["FONT_DESCENT"])
        self.height = self.ascent + self.descent

    def _read_char(self, lines):
        code = None
        bbx = None
        for line in lines:
            key, _, rest = line.partition(" ")
            if key == "ENCODING":
                code = int(rest.split()[0])
            elif key == "BBX":
                bbx = tuple(int(v) for v in rest.split())
            elif key == "BITMAP":
                rows = []
                for row in lines:
                    if row.startswith("ENDCHAR"):
                        break
                    rows.append(row.strip())
                self.glyphs[code] = (bbx, rows)
                return

    def grid(self, code):
        """The glyph of `code` in the font cell, or None when the font lacks it."""
        if code not in self.glyphs:
            return None
        (w, h, xoff, yoff), rows = self.glyphs[code]
        width = max(self.cell_width, w + xoff)
        cell = [[0] * width for _ in range(self.height)]
        top = self.ascent - (yoff + h)
        for r, hexrow in enumerate(rows):
            bits = int(hexrow, 16) if hexrow else 0
            nbits = len(hexrow) * 4
            for i in range(w):
                if bits >> (nbits - 1 - i) & 1:
                    y, x = top + r, xoff + i
                    if 0 <= y < self.height and 0 <= x < width:
                        cell[y][x] = 1
        return cell


def load_pcf(path):
    """Converts a (gzipped) PCF font with pcf2bdf and parses the result."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as f:
        data = f.read()
    with tempfile.TemporaryDirectory() as tmp:
        pcf = os.path.join(tmp, "font.pcf")
        bdf = os.path.join(tmp, "font.bdf")
        with open(pcf, "wb") as f:
            f.write(data)
        subprocess.run(["pcf2bdf", "-o", bdf, pcf], check=True)
        with open(bdf, encoding="latin-1") as f:
            return BdfFont(f.read())
