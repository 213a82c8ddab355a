#pragma once
// The renderer's working frame (12-bit Rgb444 pixels), the five drawing
// primitives everything else goes through, and the conversion to the 32-bit
// output frame the hosts show.
#include <array>
#include <cstddef>
#include <cstdint>

namespace pelmora {

inline constexpr int kCanvasWidth = 320;
inline constexpr int kCanvasHeight = 170;
inline constexpr int kHalfWidth = kCanvasWidth / 2;    // 160
inline constexpr int kHalfHeight = kCanvasHeight / 2;  // 85
static_assert(kCanvasWidth % 2 == 0 && kCanvasHeight % 2 == 0, "half-resolution units must tile the canvas");
inline constexpr std::size_t kPixelCount = static_cast<std::size_t>(kCanvasWidth) * kCanvasHeight;

// 320 x 170 pixels 0x00RRGGBB, row-major from the top-left.
using OutputFrame = std::array<std::uint32_t, kPixelCount>;

struct LcdCanvas {
  std::array<std::uint16_t, kPixelCount> pixels{};  // Rgb444 0x0RGB
  std::uint16_t foreground = 0;                      // theme colours, RGB565
  std::uint16_t header = 0;
  std::uint16_t panel = 0;
  std::uint16_t trace = 0;
  std::uint16_t guide = 0;
};

// Keeps the top four bits of each RGB565 channel.
constexpr std::uint16_t toRgb444(std::uint16_t rgb565) {
  return static_cast<std::uint16_t>(((rgb565 >> 4) & 0x0F00) | ((rgb565 >> 3) & 0x00F0) |
                                    ((rgb565 >> 1) & 0x000F));
}

// Primitives. `fullRes` selects 320 x 170 units of one pixel, otherwise
// 160 x 85 units of 2 x 2 pixels. Colours are RGB565. Every write is clipped.
// Inline: the whole picture is composed unit by unit through this call, so the
// compiler must be able to fold the scale and the clipping into the caller.
// A unit is either wholly on the canvas or wholly off it (170 is even), so the
// bounds test is made once in the call's own units; comparing as unsigned
// puts negative coordinates off the canvas as well.
inline void putPixel(LcdCanvas& canvas, int x, int y, std::uint16_t colour, bool fullRes) {
  const std::uint16_t stored = toRgb444(colour);
  if (fullRes) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(kCanvasWidth) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(kCanvasHeight)) {
      return;
    }
    canvas.pixels[static_cast<std::size_t>(y) * kCanvasWidth + static_cast<std::size_t>(x)] = stored;
    return;
  }
  if (static_cast<unsigned>(x) >= static_cast<unsigned>(kHalfWidth) ||
      static_cast<unsigned>(y) >= static_cast<unsigned>(kHalfHeight)) {
    return;
  }
  const std::size_t top = static_cast<std::size_t>(y) * 2 * kCanvasWidth + static_cast<std::size_t>(x) * 2;
  canvas.pixels[top] = stored;
  canvas.pixels[top + 1] = stored;
  canvas.pixels[top + kCanvasWidth] = stored;
  canvas.pixels[top + kCanvasWidth + 1] = stored;
}
void fillRect(LcdCanvas& canvas, int x0, int y0, int x1, int y1, std::uint16_t colour, bool fullRes);
void drawLine(LcdCanvas& canvas, int x0, int y0, int x1, int y1, std::uint16_t colour, bool fullRes);
// One cell of the 16 x 16 meter grid, always at full resolution.
void drawMeterCell(LcdCanvas& canvas, int column, int level, std::uint16_t colour, bool narrow);

void clearCanvas(LcdCanvas& canvas);
void toRgb32(const LcdCanvas& canvas, OutputFrame& out);

}  // namespace pelmora
