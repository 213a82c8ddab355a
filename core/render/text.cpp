#include "core/render/text.h"

#include <algorithm>
#include <cstring>

#include "core/assets/fonts.h"

namespace pelmora {

namespace {

struct BuiltinFont {
  const std::uint8_t* glyphs;  // codes 32..126
  int glyphBytes;
  int advance;
  int lineHeight;
  int rowsDrawn;
  int bitsTop;  // bit of the leftmost pixel
  bool fullRes;
};

constexpr std::uint8_t kFirstGlyph = 32;
constexpr std::uint8_t kLastGlyph = 126;

constexpr BuiltinFont kBuiltinFonts[] = {
    {assets::font8x10, 10, 8, 10, 10, 7, false},
    {assets::font5x10, 10, 5, 10, 10, 4, false},
    {assets::font6x8, 8, 6, 8, 7, 5, true},
};

// FONTX2 header layout.
constexpr std::size_t kFontxWidthOffset = 14;
constexpr std::size_t kFontxHeightOffset = 15;
constexpr std::size_t kFontxSingleByteGlyphs = 17;
constexpr std::size_t kFontxBlockCountOffset = 17;
constexpr std::size_t kFontxBlocksOffset = 18;
constexpr std::size_t kFontxBlockBytes = 4;

constexpr std::uint16_t kFullWidthQuestionMark = 0x8148;
// Pen positions (half-resolution units from the start) at which a line stops.
constexpr std::int64_t kDoubleBytePenLimit = 244;
constexpr std::int64_t kSingleBytePenLimit = 250;

bool isShiftJisLead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// True when a w x h cell at (x, y) may touch the canvas. Cells that cannot
// are skipped, which also keeps every coordinate handed on within int.
bool cellMayShow(std::int64_t x, std::int64_t y, int w, int h, bool fullRes) {
  const int across = fullRes ? kCanvasWidth : kHalfWidth;
  const int down = fullRes ? kCanvasHeight : kHalfHeight;
  return x > -w && x < across && y > -h && y < down;
}

void drawBuiltinGlyph(LcdCanvas& canvas, const BuiltinFont& font, int x, int y, std::uint8_t code,
                      std::uint16_t fg, std::uint16_t bg) {
  const std::uint8_t* glyph = font.glyphs + static_cast<std::size_t>(code - kFirstGlyph) * font.glyphBytes;
  for (int r = 0; r < font.rowsDrawn; ++r) {
    const unsigned bits = glyph[r];
    for (int i = 0; i < font.advance; ++i) {
      const bool set = (bits >> (font.bitsTop - i)) & 1u;
      putPixel(canvas, x + i, y + r, set ? fg : bg, font.fullRes);
    }
  }
}

std::uint16_t blockBound(const std::uint8_t* font, std::size_t block, std::size_t which) {
  const std::uint8_t* p = font + kFontxBlocksOffset + block * kFontxBlockBytes + which * 2;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::size_t findInBlocks(const std::uint8_t* font, std::size_t size, std::uint16_t code) {
  const std::size_t blocks = font[kFontxBlockCountOffset];
  const std::size_t glyphBytes =
      static_cast<std::size_t>((font[kFontxWidthOffset] + 7) / 8) * font[kFontxHeightOffset];
  std::size_t before = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint16_t start = blockBound(font, b, 0);
    const std::uint16_t end = blockBound(font, b, 1);
    if (start <= code && code <= end) {
      return kFontxBlocksOffset + kFontxBlockBytes * blocks + glyphBytes * (before + (code - start));
    }
    if (end >= start) before += static_cast<std::size_t>(end - start) + 1;
  }
  return size;
}

void drawFontxGlyph(LcdCanvas& canvas, const std::uint8_t* font, std::size_t size, std::size_t offset, int x,
                    int y, std::uint16_t fg, std::uint16_t bg) {
  const int w = font[kFontxWidthOffset];
  const int h = font[kFontxHeightOffset];
  const std::size_t rowBytes = static_cast<std::size_t>((w + 7) / 8);
  const std::size_t glyphBytes = rowBytes * static_cast<std::size_t>(h);
  if (h == 0 || offset > size || size - offset < glyphBytes) return;
  const std::uint8_t* glyph = font + offset;
  for (int r = 0; r < h; ++r) {
    const std::uint8_t* row = glyph + static_cast<std::size_t>(r) * rowBytes;
    for (int i = 0; i < w; ++i) {
      const bool set = (row[i / 8] >> (7 - i % 8)) & 1u;
      putPixel(canvas, x + i, y + r, set ? fg : bg, false);
    }
  }
}

}  // namespace

std::size_t fontxDoubleByteGlyphOffset(const std::uint8_t* font, std::size_t size, std::uint16_t code) {
  if (size < kFontxBlocksOffset) return size;
  const std::size_t blocks = font[kFontxBlockCountOffset];
  if (blocks == 0 || size < kFontxBlocksOffset + kFontxBlockBytes * blocks) return size;
  std::size_t offset = findInBlocks(font, size, code);
  if (offset == size) offset = findInBlocks(font, size, kFullWidthQuestionMark);
  return offset;
}

void drawText(LcdCanvas& canvas, int x, int y, const std::uint8_t* text, std::size_t length, int fontIndex,
              std::uint16_t fg, std::uint16_t bg) {
  if (fontIndex < kFont8x10 || fontIndex > kFont6x8) return;
  const BuiltinFont& font = kBuiltinFonts[fontIndex];
  const std::int64_t xMax = (font.fullRes ? kCanvasWidth : kHalfWidth) - 1;
  const std::int64_t yMax = (font.fullRes ? kCanvasHeight : kHalfHeight) - 1;
  std::int64_t penX = x;
  std::int64_t penY = y;
  // Only the starting line has to fit; wrapped lines are clipped per pixel.
  if (penY + font.lineHeight - 1 > yMax) return;
  for (std::size_t k = 0; k < length; ++k) {
    const std::uint8_t b = text[k];
    if (b == 0) break;
    if (penX + font.advance - 1 > xMax) {
      penX = x;
      penY += font.lineHeight;
      // Lines only move down: once below the canvas nothing more can show.
      if (penY > yMax) break;
    }
    if (b <= kLastGlyph && cellMayShow(penX, penY, font.advance, font.rowsDrawn, font.fullRes)) {
      drawBuiltinGlyph(canvas, font, static_cast<int>(penX), static_cast<int>(penY), std::max(b, kFirstGlyph), fg,
                       bg);
    }
    penX += font.advance;
  }
}

void drawText(LcdCanvas& canvas, int x, int y, const char* text, int fontIndex, std::uint16_t fg,
              std::uint16_t bg) {
  drawText(canvas, x, y, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text), fontIndex, fg, bg);
}

void drawFontxText(LcdCanvas& canvas, int x, int y, const std::uint8_t* text, std::size_t length,
                   std::uint16_t fg, std::uint16_t bg) {
  std::int64_t pen = 0;
  std::size_t k = 0;
  while (k < length) {
    const std::uint8_t b = text[k];
    if (b == 0) break;
    const std::uint8_t* font = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    if (isShiftJisLead(b)) {
      if (k + 1 == length || x + pen >= kDoubleBytePenLimit) break;
      const auto code = static_cast<std::uint16_t>(b << 8 | text[k + 1]);
      font = assets::fontKanji;
      size = assets::fontKanji_size;
      offset = fontxDoubleByteGlyphOffset(font, size, code);
      k += 2;
    } else {
      if (x + pen >= kSingleBytePenLimit) break;
      font = assets::fontAnk;
      size = assets::fontAnk_size;
      const std::size_t glyphBytes =
          static_cast<std::size_t>((font[kFontxWidthOffset] + 7) / 8) * font[kFontxHeightOffset];
      offset = kFontxSingleByteGlyphs + b * glyphBytes;
      k += 1;
    }
    const int w = font[kFontxWidthOffset];
    if (cellMayShow(x + pen, y, w, font[kFontxHeightOffset], false)) {
      drawFontxGlyph(canvas, font, size, offset, static_cast<int>(x + pen), y, fg, bg);
    }
    pen += w;
  }
}

}  // namespace pelmora
