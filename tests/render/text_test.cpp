#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/assets/fonts.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

constexpr std::uint16_t kFg = 0xFFFF;  // stores 0x0FFF
constexpr std::uint16_t kBg = 0x001F;  // stores 0x000F
constexpr std::uint16_t kUntouched = 0x0ABC;

std::unique_ptr<LcdCanvas> canvasFilled(std::uint16_t stored = kUntouched) {
  auto c = std::make_unique<LcdCanvas>();
  c->pixels.fill(stored);
  return c;
}

std::uint16_t unitAt(const LcdCanvas& c, int x, int y, bool fullRes) {
  const int s = fullRes ? 1 : 2;
  return c.pixels[static_cast<std::size_t>(y * s * kCanvasWidth + x * s)];
}

const std::uint8_t* bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }

// Checks a w x h cell at (x, y) against bit(r, i): set bits in the foreground,
// clear bits in the background.
void expectCell(const LcdCanvas& c, int x, int y, int w, int h, bool fullRes,
                const std::function<bool(int, int)>& bit) {
  for (int r = 0; r < h; ++r)
    for (int i = 0; i < w; ++i)
      ASSERT_EQ(unitAt(c, x + i, y + r, fullRes), bit(r, i) ? 0x0FFF : 0x000F)
          << "unit " << x + i << "," << y + r;
}

void expectUntouched(const LcdCanvas& c, int x, int y, int w, int h, bool fullRes) {
  for (int r = 0; r < h; ++r)
    for (int i = 0; i < w; ++i) ASSERT_EQ(unitAt(c, x + i, y + r, fullRes), kUntouched) << x + i << "," << y + r;
}

bool allUntouched(const LcdCanvas& c) {
  for (auto p : c.pixels)
    if (p != kUntouched) return false;
  return true;
}

auto font8x10Bit(char ch) {
  return [ch](int r, int i) { return (assets::font8x10[(ch - 32) * 10 + r] >> (7 - i)) & 1; };
}

TEST(DrawText, DrawsEveryCellOfAGlyphInBothColours) {
  auto c = canvasFilled();
  drawText(*c, 3, 4, "A ", kFont8x10, kFg, kBg);
  expectCell(*c, 3, 4, 8, 10, false, font8x10Bit('A'));
  expectCell(*c, 11, 4, 8, 10, false, [](int, int) { return false; });
  expectUntouched(*c, 19, 4, 1, 10, false);

  c = canvasFilled();
  drawText(*c, 0, 0, "7", kFont5x10, kFg, kBg);
  expectCell(*c, 0, 0, 5, 10, false, [](int r, int i) { return (assets::font5x10[('7' - 32) * 10 + r] >> (4 - i)) & 1; });
  expectUntouched(*c, 5, 0, 1, 10, false);
}

TEST(DrawText, SmallFontIsFullResolutionAndLeavesItsLastRow) {
  auto c = canvasFilled();
  drawText(*c, 1, 2, "gM", kFont6x8, kFg, kBg);
  expectCell(*c, 1, 2, 6, 7, true, [](int r, int i) { return (assets::font6x8[('g' - 32) * 8 + r] >> (5 - i)) & 1; });
  expectCell(*c, 7, 2, 6, 7, true, [](int r, int i) { return (assets::font6x8[('M' - 32) * 8 + r] >> (5 - i)) & 1; });
  expectUntouched(*c, 1, 9, 12, 1, true);
  expectUntouched(*c, 13, 2, 1, 7, true);
}

TEST(DrawText, WrapsToTheStartColumnOneLineLower) {
  auto wrapped = canvasFilled();
  drawText(*wrapped, 150, 0, "ABC", kFont8x10, kFg, kBg);
  auto expected = canvasFilled();
  drawText(*expected, 150, 0, "A", kFont8x10, kFg, kBg);
  drawText(*expected, 150, 10, "B", kFont8x10, kFg, kBg);
  drawText(*expected, 150, 20, "C", kFont8x10, kFg, kBg);
  EXPECT_EQ(wrapped->pixels, expected->pixels);

  // 20 cells fill a half-resolution line exactly; the 21st starts the next.
  auto title = canvasFilled();
  drawText(*title, 0, 0, "ABCDEFGHIJKLMNOPQRSTU", kFont8x10, kFg, kBg);
  expectCell(*title, 152, 0, 8, 10, false, font8x10Bit('T'));
  expectCell(*title, 0, 10, 8, 10, false, font8x10Bit('U'));
}

TEST(DrawText, OnlyTheStartingLineMustFit) {
  auto c = canvasFilled();
  drawText(*c, 0, 76, "A", kFont8x10, kFg, kBg);
  drawText(*c, 0, 163, "A", kFont6x8, kFg, kBg);
  drawText(*c, 0, INT_MAX, "A", kFont8x10, kFg, kBg);
  EXPECT_TRUE(allUntouched(*c));

  drawText(*c, 0, 75, "A", kFont8x10, kFg, kBg);
  expectCell(*c, 0, 75, 8, 10, false, font8x10Bit('A'));

  // A line that wraps below the canvas is clipped, not refused.
  c = canvasFilled();
  drawText(*c, 152, 75, "AB", kFont8x10, kFg, kBg);
  expectCell(*c, 152, 75, 8, 10, false, font8x10Bit('A'));
  expectUntouched(*c, 0, 75, 152, 10, false);
}

TEST(DrawText, ControlCodesAreSpacesAndHighBytesSkipACell) {
  auto control = canvasFilled();
  drawText(*control, 0, 0, "\x01\x1f", kFont8x10, kFg, kBg);
  auto spaces = canvasFilled();
  drawText(*spaces, 0, 0, "  ", kFont8x10, kFg, kBg);
  EXPECT_EQ(control->pixels, spaces->pixels);

  auto c = canvasFilled();
  drawText(*c, 0, 0, "\x7f\xb1" "A", kFont8x10, kFg, kBg);
  expectUntouched(*c, 0, 0, 16, 10, false);
  expectCell(*c, 16, 0, 8, 10, false, font8x10Bit('A'));
}

TEST(DrawText, StopsAtZeroByteOrLength) {
  const std::uint8_t text[] = {'A', 0, 'B'};
  auto c = canvasFilled();
  drawText(*c, 0, 0, text, sizeof text, kFont8x10, kFg, kBg);
  expectUntouched(*c, 8, 0, 16, 10, false);

  c = canvasFilled();
  drawText(*c, 0, 0, bytes("AB"), 1, kFont8x10, kFg, kBg);
  expectUntouched(*c, 8, 0, 8, 10, false);

  c = canvasFilled();
  drawText(*c, 0, 0, "A", 7, kFg, kBg);  // no such font
  EXPECT_TRUE(allUntouched(*c));
}

TEST(DrawText, FarOffCoordinatesDrawNothingAndFinish) {
  const std::string longText(5000, 'W');
  auto c = canvasFilled();
  drawText(*c, INT_MAX, 0, bytes(longText.c_str()), longText.size(), kFont8x10, kFg, kBg);
  drawText(*c, INT_MIN, INT_MIN, bytes(longText.c_str()), longText.size(), kFont6x8, kFg, kBg);
  drawText(*c, -8, 0, "A", kFont8x10, kFg, kBg);
  EXPECT_TRUE(allUntouched(*c));
}

// ---- FONTX2 -----------------------------------------------------------------

std::function<bool(int, int)> kanjiBit(std::uint16_t code) {
  const std::size_t o = fontxDoubleByteGlyphOffset(assets::fontKanji, assets::fontKanji_size, code);
  return [o](int r, int i) { return (assets::fontKanji[o + r * 2 + i / 8] >> (7 - i % 8)) & 1; };
}

std::function<bool(int, int)> ankBit(std::uint8_t code) {
  return [code](int r, int i) { return (assets::fontAnk[17 + code * 10 + r] >> (7 - i)) & 1; };
}

TEST(FontxLookup, FindsCodesThroughTheBlocks) {
  const auto size = assets::fontKanji_size;
  const std::size_t blocks = assets::fontKanji[17];
  const std::size_t first = 18 + 4 * blocks;
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0x8140), first);
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0x8148), first + 8 * 20);
  // 0x817F is no code; 0x8180 starts the second block right after the first.
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0x8180), first + 63 * 20);
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0x817F), first + 8 * 20);
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0xFFFF), first + 8 * 20);
  EXPECT_EQ(fontxDoubleByteGlyphOffset(assets::fontKanji, size, 0xEAA4), size - 20);
}

TEST(FontxLookup, MalformedFontsAnswerTheSize) {
  std::uint8_t noBlocks[18] = {'F', 'O', 'N', 'T', 'X', '2', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 10, 10, 1, 0};
  EXPECT_EQ(fontxDoubleByteGlyphOffset(noBlocks, sizeof noBlocks, 0x8148), sizeof noBlocks);
  // Claims a block whose table does not fit in the file.
  noBlocks[17] = 1;
  EXPECT_EQ(fontxDoubleByteGlyphOffset(noBlocks, sizeof noBlocks, 0x8148), sizeof noBlocks);
  // A block without the fallback code.
  std::uint8_t one[22 + 20] = {'F', 'O', 'N', 'T', 'X', '2', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 10, 10, 1, 1,
                               0x40, 0x82, 0x40, 0x82};
  EXPECT_EQ(fontxDoubleByteGlyphOffset(one, sizeof one, 0x8240), 22u);
  EXPECT_EQ(fontxDoubleByteGlyphOffset(one, sizeof one, 0x8241), sizeof one);
}

TEST(DrawFontxText, DoubleByteGlyphAndAdvance) {
  auto c = canvasFilled();
  drawFontxText(*c, 2, 1, bytes("\x82\xa0" "A"), 3, kFg, kBg);
  expectCell(*c, 2, 1, 10, 10, false, kanjiBit(0x82A0));
  expectCell(*c, 12, 1, 5, 10, false, ankBit('A'));
  expectUntouched(*c, 17, 1, 1, 10, false);
  // Hiragana A is a real glyph, not the fallback.
  EXPECT_NE(fontxDoubleByteGlyphOffset(assets::fontKanji, assets::fontKanji_size, 0x82A0),
            fontxDoubleByteGlyphOffset(assets::fontKanji, assets::fontKanji_size, 0x8148));
}

TEST(DrawFontxText, UnknownCodesDrawTheQuestionMark) {
  auto unknown = canvasFilled();
  drawFontxText(*unknown, 0, 0, bytes("\x85\x00\x85\x40"), 4, kFg, kBg);
  auto question = canvasFilled();
  drawFontxText(*question, 0, 0, bytes("\x81\x48\x81\x48"), 4, kFg, kBg);
  EXPECT_EQ(unknown->pixels, question->pixels);
  expectCell(*question, 0, 0, 10, 10, false, kanjiBit(0x8148));
}

TEST(DrawFontxText, DropsATruncatedDoubleByteCharacter) {
  auto c = canvasFilled();
  drawFontxText(*c, 0, 0, bytes("\x82"), 1, kFg, kBg);
  drawFontxText(*c, 20, 0, bytes("\x82\xa0"), 1, kFg, kBg);
  EXPECT_TRUE(allUntouched(*c));

  drawFontxText(*c, 0, 0, bytes("A\x82"), 2, kFg, kBg);
  expectCell(*c, 0, 0, 5, 10, false, ankBit('A'));
  expectUntouched(*c, 5, 0, 10, 10, false);
}

TEST(DrawFontxText, SingleBytesUseTheNarrowFontIncludingControlPictures) {
  auto c = canvasFilled();
  drawFontxText(*c, 0, 0, bytes("ABC\x01\xb1"), 5, kFg, kBg);
  expectCell(*c, 0, 0, 5, 10, false, ankBit('A'));
  expectCell(*c, 5, 0, 5, 10, false, ankBit('B'));
  expectCell(*c, 10, 0, 5, 10, false, ankBit('C'));
  expectCell(*c, 15, 0, 5, 10, false, ankBit(0x01));
  expectCell(*c, 20, 0, 5, 10, false, ankBit(0xB1));
  expectUntouched(*c, 25, 0, 1, 10, false);
}

TEST(DrawFontxText, StopsAtZeroAndRunsOffTheEdgeClipped) {
  auto c = canvasFilled();
  drawFontxText(*c, 0, 0, bytes("A\0B"), 3, kFg, kBg);
  expectUntouched(*c, 5, 0, 5, 10, false);

  // Seventeen full-width characters from x = 0 reach past the right edge.
  std::string line;
  for (int i = 0; i < 17; ++i) line += "\x82\xa0";
  c = canvasFilled();
  drawFontxText(*c, 0, 75, bytes(line.c_str()), line.size(), kFg, kBg);
  expectCell(*c, 150, 75, 10, 10, false, kanjiBit(0x82A0));

  // Pen limits lie beyond the edge; far-off starts stop or clip without harm.
  c = canvasFilled();
  drawFontxText(*c, 243, 0, bytes("\x82\xa0"), 2, kFg, kBg);
  drawFontxText(*c, INT_MAX, INT_MAX, bytes(line.c_str()), line.size(), kFg, kBg);
  drawFontxText(*c, INT_MIN, 0, bytes(line.c_str()), line.size(), kFg, kBg);
  drawFontxText(*c, 0, -10, bytes(line.c_str()), line.size(), kFg, kBg);
  EXPECT_TRUE(allUntouched(*c));
}

}  // namespace
}  // namespace pelmora
