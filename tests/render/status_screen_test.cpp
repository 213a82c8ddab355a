#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/assets/fonts.h"
#include "core/render/status_screen.h"

namespace pelmora {
namespace {

constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr std::uint32_t kPicture = 0x00123456;

std::vector<std::string> linesOf(const std::string& message) {
  const StatusLines lines = breakStatusLines(message.data(), message.size());
  std::vector<std::string> out;
  for (std::size_t k = 0; k < lines.count; ++k) out.emplace_back(lines.text[k], lines.length[k]);
  return out;
}

using Lines = std::vector<std::string>;

TEST(StatusLines, BreaksAtNewlinesAndFullLines) {
  EXPECT_EQ(linesOf(""), Lines{""});
  EXPECT_EQ(linesOf("No Device"), Lines{"No Device"});
  EXPECT_EQ(linesOf("Connection Error\nLCD Stream Stopped"), (Lines{"Connection Error", "LCD Stream Stopped"}));
  const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  EXPECT_EQ(linesOf(forty), (Lines{forty.substr(0, 36), "ABCD"}));
  EXPECT_EQ(linesOf(forty.substr(0, 36)), Lines{forty.substr(0, 36)});
  // A break right after a full line starts one new line, not two.
  EXPECT_EQ(linesOf(forty.substr(0, 36) + "\nX"), (Lines{forty.substr(0, 36), "X"}));
  EXPECT_EQ(linesOf("A\n\nB"), (Lines{"A", "", "B"}));
  EXPECT_EQ(linesOf("A\n"), (Lines{"A", ""}));
}

TEST(StatusLines, UnprintableBytesShowAsQuestionMarks) {
  EXPECT_EQ(linesOf("a\tb\x7f\xe3\x81\x82\r"), Lines{"a?b?????"});
  EXPECT_EQ(linesOf(std::string("x\0y", 3)), Lines{"x?y"});
}

TEST(StatusLines, TruncatesAfterThreeLines) {
  std::string message;
  for (int i = 0; i < 120; ++i) message += static_cast<char>('A' + i % 26);
  const Lines lines = linesOf(message);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], message.substr(0, 36));
  EXPECT_EQ(lines[1], message.substr(36, 36));
  EXPECT_EQ(lines[2], message.substr(72, 33) + "...");

  EXPECT_EQ(linesOf("A\nB\nC\nD"), (Lines{"A", "B", "C..."}));
  EXPECT_EQ(linesOf("A\nB\nC\n\nD"), (Lines{"A", "B", "C..."}));
  // A short last line keeps all of itself before the dots.
  EXPECT_EQ(linesOf("A\nB\n" + std::string(33, 'c') + "\nD"), (Lines{"A", "B", std::string(33, 'c') + "..."}));
  EXPECT_EQ(linesOf("A\nB\n" + std::string(34, 'c') + "\nD"), (Lines{"A", "B", std::string(33, 'c') + "..."}));
}

TEST(StatusLines, ABreakAfterTheThirdLineIsACutToo) {
  EXPECT_EQ(linesOf("A\nB\nC\n"), (Lines{"A", "B", "C..."}));
  EXPECT_EQ(linesOf("A\nB\nC\n\n"), (Lines{"A", "B", "C..."}));
  const std::string full(108, 'x');
  EXPECT_EQ(linesOf(full + "\n"), (Lines{full.substr(0, 36), full.substr(0, 36), full.substr(0, 33) + "..."}));
  // Two lines and a final break still fit: the third line is empty.
  EXPECT_EQ(linesOf("A\nB\n"), (Lines{"A", "B", ""}));
}

std::unique_ptr<OutputFrame> frameOf(std::uint32_t value) {
  auto f = std::make_unique<OutputFrame>();
  f->fill(value);
  return f;
}

std::uint32_t at(const OutputFrame& f, int x, int y) { return f[static_cast<std::size_t>(y * kCanvasWidth + x)]; }

// Rows that hold a white pixel, and the leftmost white column.
struct Ink {
  int firstRow = -1, lastRow = -1, firstColumn = kCanvasWidth;
};
Ink inkIn(const OutputFrame& f, int fromRow, int toRow) {
  Ink ink;
  for (int y = fromRow; y <= toRow; ++y)
    for (int x = 0; x < kCanvasWidth; ++x)
      if (at(f, x, y) == kWhite) {
        if (ink.firstRow < 0) ink.firstRow = y;
        ink.lastRow = y;
        ink.firstColumn = std::min(ink.firstColumn, x);
      }
  return ink;
}

// Band rows are black or white; rows outside keep `outside`.
void expectBand(const OutputFrame& f, int top, int bottom, std::uint32_t outside) {
  for (int y = 0; y < kCanvasHeight; ++y)
    for (int x = 0; x < kCanvasWidth; ++x) {
      const std::uint32_t p = at(f, x, y);
      if (y >= top && y <= bottom) {
        ASSERT_TRUE(p == 0 || p == kWhite) << x << "," << y;
      } else {
        ASSERT_EQ(p, outside) << x << "," << y;
      }
    }
}

// Leftmost pixel column of a glyph in font8x10.
int glyphLeftColumn(char c) {
  int best = 8;
  for (int r = 0; r < 10; ++r)
    for (int i = 0; i < 8; ++i)
      if ((assets::font8x10[(c - 32) * 10 + r] >> (7 - i)) & 1) best = std::min(best, i);
  return best;
}

TEST(StatusScreen, OneLineGeometry) {
  auto f = frameOf(kPicture);
  drawStatusScreen(*f, "No Device", 9, false);
  expectBand(*f, 73, 96, 0);
  const Ink ink = inkIn(*f, 0, kCanvasHeight - 1);
  EXPECT_GE(ink.firstRow, 80);
  EXPECT_LE(ink.lastRow, 89);
  EXPECT_EQ(ink.firstColumn, 124 + glyphLeftColumn('N'));
}

TEST(StatusScreen, TwoLinesOverTheImage) {
  auto f = frameOf(kPicture);
  const std::string message = "Connection Error\nLCD Stream Stopped";
  drawStatusScreen(*f, message.data(), message.size(), true);
  expectBand(*f, 65, 104, kPicture);
  const Ink line0 = inkIn(*f, 65, 87);
  const Ink line1 = inkIn(*f, 88, 104);
  EXPECT_GE(line0.firstRow, 72);
  EXPECT_LE(line0.lastRow, 81);
  EXPECT_EQ(line0.firstColumn, 96 + glyphLeftColumn('C'));
  EXPECT_GE(line1.firstRow, 88);
  EXPECT_LE(line1.lastRow, 97);
  EXPECT_EQ(line1.firstColumn, 88 + glyphLeftColumn('L'));
}

TEST(StatusScreen, DrawsTheGlyphsBitForBit) {
  auto f = frameOf(kPicture);
  drawStatusScreen(*f, "A", 1, true);
  for (int r = 0; r < 10; ++r)
    for (int i = 0; i < 8; ++i) {
      const bool set = (assets::font8x10[('A' - 32) * 10 + r] >> (7 - i)) & 1;
      EXPECT_EQ(at(*f, 156 + i, 80 + r), set ? kWhite : 0u) << i << "," << r;
    }
}

TEST(StatusScreen, ThreeLinesAndEmptyMessage) {
  auto f = frameOf(kPicture);
  std::string message(120, 'W');
  drawStatusScreen(*f, message.data(), message.size(), true);
  expectBand(*f, 57, 112, kPicture);
  const Ink ink = inkIn(*f, 0, kCanvasHeight - 1);
  EXPECT_EQ(ink.firstColumn, 16 + glyphLeftColumn('W'));

  f = frameOf(kPicture);
  drawStatusScreen(*f, "", 0, true);
  expectBand(*f, 73, 96, kPicture);
  EXPECT_EQ(inkIn(*f, 0, kCanvasHeight - 1).firstRow, -1);
}

}  // namespace
}  // namespace pelmora
