"""Fits source glyphs into the cells the program's fonts use."""


def take_rows(grid, first, count):
    """Rows first .. first+count-1 of a glyph; rows beyond the source are blank."""
    width = len(grid[0])
    return [list(grid[r]) if 0 <= r < len(grid) else [0] * width for r in range(first, first + count)]


def shift_columns(rows, offset, width):
    """Moves every row `offset` columns right within a cell of `width` columns."""
    out = []
    for row in rows:
        new = [0] * width
        for i, p in enumerate(row):
            if p and 0 <= i + offset < width:
                new[i + offset] = 1
        out.append(new)
    return out


def fit_height(grid, height):
    """Reduces a glyph one row taller than `height` to `height` rows.

    Glyphs that leave the bottom row blank simply lose it. Otherwise one row
    goes: preferably the lowest row that repeats the row above it (that only
    shortens a stroke or a gap and keeps serifs, hooks and the ends of strokes
    that join the next line), else a blank top row (the glyph moves up), else
    the bottom row.
    """
    assert len(grid) == height + 1
    if not any(grid[height]):
        return [list(r) for r in grid[:height]]
    for r in range(height, 0, -1):
        if grid[r] == grid[r - 1]:
            return [list(row) for i, row in enumerate(grid) if i != r]
    if not any(grid[0]):
        return [list(r) for r in grid[1:]]
    return [list(r) for r in grid[:height]]


def from_pictures(lines):
    """A glyph from rows drawn as text, '#' for a set pixel."""
    return [[1 if ch == "#" else 0 for ch in line] for line in lines]


def to_picture(rows):
    return ["".join("#" if p else "." for p in row) for row in rows]
