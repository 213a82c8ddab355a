#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/assets/fonts.h"
#include "core/protocol/byte_order.h"

namespace pelmora {
namespace {

using namespace pelmora::assets;

constexpr std::size_t kAsciiGlyphs = 95;

bool glyphBlank(const std::uint8_t* table, std::size_t glyphBytes, char c) {
  const std::uint8_t* g = table + static_cast<std::size_t>(c - 32) * glyphBytes;
  for (std::size_t r = 0; r < glyphBytes; ++r)
    if (g[r] != 0) return false;
  return true;
}

TEST(BuiltinFonts, GlyphsStayInsideTheirCells) {
  for (std::size_t k = 0; k < kAsciiGlyphs; ++k) {
    EXPECT_EQ(font8x10[k * 10], 0) << "font8x10 row 0 of glyph " << k;
    EXPECT_EQ(font5x10[k * 10], 0) << "font5x10 row 0 of glyph " << k;
    for (std::size_t r = 0; r < 10; ++r) EXPECT_EQ(font5x10[k * 10 + r] & 0xE0, 0) << k;
    for (std::size_t r = 0; r < 8; ++r) EXPECT_EQ(font6x8[k * 8 + r] & 0xC0, 0) << k;
    EXPECT_EQ(font6x8[k * 8 + 7], 0) << "font6x8 row 7 of glyph " << k;
  }
}

TEST(BuiltinFonts, CoverageMatchesEachFont) {
  const std::string narrow = "!\"#'/0123456789:;ABCDEFGHIJKLMNOPQRSTUVX";
  for (char c = 33; c <= 126; ++c) {
    EXPECT_FALSE(glyphBlank(font8x10, 10, c)) << c;
    EXPECT_FALSE(glyphBlank(font6x8, 8, c)) << c;
    EXPECT_EQ(glyphBlank(font5x10, 10, c), narrow.find(c) == std::string::npos) << c;
  }
  EXPECT_TRUE(glyphBlank(font8x10, 10, ' '));
  EXPECT_TRUE(glyphBlank(font5x10, 10, ' '));
  EXPECT_TRUE(glyphBlank(font6x8, 8, ' '));
}

TEST(FontAnk, HeaderAndSizeAgree) {
  ASSERT_EQ(fontAnk_size, 17u + 256u * 10u);
  EXPECT_EQ(std::memcmp(fontAnk, "FONTX2M+Gothic", 14), 0);
  EXPECT_EQ(fontAnk[14], 5);
  EXPECT_EQ(fontAnk[15], 10);
  EXPECT_EQ(fontAnk[16], 0);
  auto blank = [](unsigned code) {
    for (std::size_t r = 0; r < 10; ++r)
      if (fontAnk[17 + code * 10 + r] != 0) return false;
    return true;
  };
  EXPECT_TRUE(blank(0x20));
  for (unsigned c = 0x7F; c <= 0xA0; ++c) EXPECT_TRUE(blank(c)) << c;
  for (unsigned c = 0xE0; c <= 0xFF; ++c) EXPECT_TRUE(blank(c)) << c;
  for (unsigned c = 0x01; c <= 0x1F; ++c) EXPECT_FALSE(blank(c)) << c;
  for (unsigned c = 0x21; c <= 0x7E; ++c) EXPECT_FALSE(blank(c)) << c;
  for (unsigned c = 0xA1; c <= 0xDF; ++c) EXPECT_FALSE(blank(c)) << c;
  // Only the top five bits of each row belong to the 5-pixel glyph.
  for (std::size_t i = 17; i < fontAnk_size; ++i) EXPECT_EQ(fontAnk[i] & 0x07, 0) << i;
}

bool validShiftJis(unsigned code) {
  const unsigned lead = code >> 8, trail = code & 0xFF;
  const bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  return leadOk && trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
}

TEST(FontKanji, BlockTableAndSizeAgree) {
  ASSERT_GT(fontKanji_size, 18u);
  EXPECT_EQ(std::memcmp(fontKanji, "FONTX2        ", 14), 0);
  EXPECT_EQ(fontKanji[14], 10);
  EXPECT_EQ(fontKanji[15], 10);
  EXPECT_EQ(fontKanji[16], 1);
  const std::size_t blocks = fontKanji[17];
  ASSERT_GT(blocks, 0u);
  ASSERT_LE(18 + 4 * blocks, fontKanji_size);
  std::size_t glyphs = 0;
  unsigned previousEnd = 0;
  bool sawQuestionMark = false;
  for (std::size_t b = 0; b < blocks; ++b) {
    const unsigned start = readU16(fontKanji + 18 + 4 * b);
    const unsigned end = readU16(fontKanji + 20 + 4 * b);
    EXPECT_LE(start, end);
    EXPECT_GT(start, previousEnd) << "blocks ascending and disjoint";
    EXPECT_TRUE(validShiftJis(start) && validShiftJis(end)) << std::hex << start << "-" << end;
    EXPECT_EQ(start >> 8, end >> 8) << "a block stays within one lead byte";
    sawQuestionMark = sawQuestionMark || (start <= 0x8148 && 0x8148 <= end);
    glyphs += end - start + 1;
    previousEnd = end;
  }
  EXPECT_EQ(fontKanji_size, 18 + 4 * blocks + 20 * glyphs);
  EXPECT_TRUE(sawQuestionMark);
  EXPECT_EQ(readU16(fontKanji + 18), 0x8140);
  // Ten-pixel rows leave the last six bits of every second byte clear.
  for (std::size_t i = 18 + 4 * blocks + 1; i < fontKanji_size; i += 2) EXPECT_EQ(fontKanji[i] & 0x3F, 0) << i;
}

}  // namespace
}  // namespace pelmora
