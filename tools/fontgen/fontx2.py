"""Writes fonts in the FONTX2 bitmap-font format."""

SIGNATURE = b"FONTX2"
NAME_LENGTH = 8
SINGLE_BYTE = 0
DOUBLE_BYTE = 1
MAX_BLOCKS = 255


def glyph_bytes(rows, width):
    """Rows of pixels, each row packed into ceil(width / 8) bytes, MSB leftmost."""
    per_row = (width + 7) // 8
    out = bytearray()
    for row in rows:
        value = 0
        for i in range(per_row * 8):
            value = value << 1 | (1 if i < width and i < len(row) and row[i] else 0)
        out += value.to_bytes(per_row, "big")
    return bytes(out)


def header(name, width, height, code_type):
    encoded = name.encode("ascii")
    assert len(encoded) <= NAME_LENGTH
    return SIGNATURE + encoded.ljust(NAME_LENGTH, b" ") + bytes([width, height, code_type])


def single_byte_font(name, width, height, glyphs):
    """glyphs: 256 glyphs (lists of rows), index = code."""
    assert len(glyphs) == 256
    data = bytearray(header(name, width, height, SINGLE_BYTE))
    for rows in glyphs:
        data += glyph_bytes(rows, width)
    return bytes(data)


def contiguous_blocks(codes):
    """Inclusive (start, end) runs of consecutive codes, ascending."""
    blocks = []
    for code in sorted(codes):
        if blocks and blocks[-1][1] + 1 == code:
            blocks[-1][1] = code
        else:
            blocks.append([code, code])
    return [tuple(b) for b in blocks]


def double_byte_font(name, width, height, glyphs):
    """glyphs: dict code -> rows. Blocks are the runs of consecutive codes."""
    blocks = contiguous_blocks(glyphs)
    assert len(blocks) <= MAX_BLOCKS
    data = bytearray(header(name, width, height, DOUBLE_BYTE))
    data.append(len(blocks))
    for start, end in blocks:
        data += start.to_bytes(2, "little") + end.to_bytes(2, "little")
    for start, end in blocks:
        for code in range(start, end + 1):
            data += glyph_bytes(glyphs[code], width)
    return bytes(data)
