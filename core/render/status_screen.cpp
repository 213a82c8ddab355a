#include "core/render/status_screen.h"

#include <algorithm>

#include "core/assets/fonts.h"

namespace pelmora {

namespace {

constexpr std::uint32_t kTextColour = 0x00FFFFFF;
constexpr std::uint32_t kBandColour = 0x00000000;
constexpr int kLinePitch = 16;
constexpr int kBandPadding = 8;        // band height beyond the lines' pitch
constexpr int kBandCentreSpan = 162;   // top = (162 - 16 n) / 2
constexpr int kGlyphTopInLine = 7;     // glyph row 0 below the line's band top
constexpr int kGlyphRows = 10;
constexpr int kGlyphWidth = 8;
constexpr std::uint8_t kFirstPrintable = 32;
constexpr std::uint8_t kLastPrintable = 126;
constexpr char kUnprintable = '?';
constexpr char kEllipsis[] = "...";
constexpr std::size_t kEllipsisLength = sizeof kEllipsis - 1;

void appendEllipsis(StatusLines& lines) {
  const std::size_t last = lines.count - 1;
  std::size_t& len = lines.length[last];
  len = std::min(len, kStatusMaxLineLength - kEllipsisLength);
  std::copy(kEllipsis, kEllipsis + kEllipsisLength, lines.text[last] + len);
  len += kEllipsisLength;
}

void drawTextLine(OutputFrame& frame, const char* text, std::size_t length, int glyphTop) {
  const int left = (kCanvasWidth - kGlyphWidth * static_cast<int>(length)) / 2;
  for (std::size_t j = 0; j < length; ++j) {
    const auto code = static_cast<unsigned char>(text[j]);
    const std::uint8_t* glyph = assets::font8x10 + static_cast<std::size_t>(code - kFirstPrintable) * kGlyphRows;
    const int x = left + kGlyphWidth * static_cast<int>(j);
    for (int r = 0; r < kGlyphRows; ++r) {
      auto* row = frame.data() + static_cast<std::ptrdiff_t>(glyphTop + r) * kCanvasWidth + x;
      for (int i = 0; i < kGlyphWidth; ++i) {
        if ((glyph[r] >> (7 - i)) & 1u) row[i] = kTextColour;
      }
    }
  }
}

}  // namespace

StatusLines breakStatusLines(const char* text, std::size_t length) {
  StatusLines lines{};
  lines.count = 1;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t k = 0; k < length; ++k) {
    const unsigned char b = bytes[k];
    const bool lineFull = lines.length[lines.count - 1] == kStatusMaxLineLength;
    if (b == '\n' || lineFull) {
      if (lines.count == kStatusMaxLines) {
        // A fourth line does not fit, even an empty one after a final break.
        appendEllipsis(lines);
        return lines;
      }
      ++lines.count;
      if (b == '\n') continue;
    }
    const std::size_t line = lines.count - 1;
    lines.text[line][lines.length[line]++] =
        (b >= kFirstPrintable && b <= kLastPrintable) ? static_cast<char>(b) : kUnprintable;
  }
  return lines;
}

void drawStatusScreen(OutputFrame& frame, const char* text, std::size_t length, bool overImage) {
  const StatusLines lines = breakStatusLines(text, length);
  if (!overImage) frame.fill(kBandColour);
  const int n = static_cast<int>(lines.count);
  const int top = (kBandCentreSpan - kLinePitch * n) / 2;
  const int bandRows = kLinePitch * n + kBandPadding;
  std::fill(frame.begin() + static_cast<std::ptrdiff_t>(top) * kCanvasWidth,
            frame.begin() + static_cast<std::ptrdiff_t>(top + bandRows) * kCanvasWidth, kBandColour);
  for (int k = 0; k < n; ++k) {
    drawTextLine(frame, lines.text[k], lines.length[k], top + kGlyphTopInLine + kLinePitch * k);
  }
}

}  // namespace pelmora
