#pragma once
// Text from the three built-in ASCII fonts and the FONTX2 Shift_JIS pair.
#include <cstddef>
#include <cstdint>

#include "core/render/lcd_canvas.h"

namespace pelmora {

enum FontIndex : int { kFont8x10 = 0, kFont5x10 = 1, kFont6x8 = 2 };

// At most `length` bytes, stopping at a zero byte; wraps at the right edge.
// Font 2 works in full-resolution coordinates, fonts 0 and 1 in half.
void drawText(LcdCanvas& canvas, int x, int y, const std::uint8_t* text, std::size_t length,
              int fontIndex, std::uint16_t fg, std::uint16_t bg);
void drawText(LcdCanvas& canvas, int x, int y, const char* text, int fontIndex, std::uint16_t fg,
              std::uint16_t bg);

// Shift_JIS text at half resolution; never wraps.
void drawFontxText(LcdCanvas& canvas, int x, int y, const std::uint8_t* text, std::size_t length,
                   std::uint16_t fg, std::uint16_t bg);

// Byte offset of the glyph of `code` in a double-byte FONTX2 font of `size`
// bytes, searched through its code blocks; codes outside every block fall back
// to the full-width question mark. Answers `size` when there is no glyph.
std::size_t fontxDoubleByteGlyphOffset(const std::uint8_t* font, std::size_t size, std::uint16_t code);

}  // namespace pelmora
