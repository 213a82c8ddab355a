#include "core/render/lcd_canvas.h"

#include <algorithm>
#include <cstdlib>

namespace pelmora {

namespace {

int unitsAcross(bool fullRes) { return fullRes ? kCanvasWidth : kHalfWidth; }
int unitsDown(bool fullRes) { return fullRes ? kCanvasHeight : kHalfHeight; }

// Meter grid geometry, full resolution.
constexpr int kMeterBottomTop = 163;  // top row of level 0
constexpr int kMeterRowPitch = 8;
constexpr int kMeterLitRows = 6;
constexpr int kMeterGapColumns = 2;
constexpr int kMeterWideWidth = 16;
constexpr int kMeterNarrowWidth = 8;
constexpr int kMeterNarrowLeft = 128;

// Fills whole pixel rows [top, bottom] x [left, right], already clipped.
void fillPixels(LcdCanvas& canvas, int left, int top, int right, int bottom, std::uint16_t stored) {
  for (int y = top; y <= bottom; ++y) {
    auto row = canvas.pixels.begin() + static_cast<std::ptrdiff_t>(y) * kCanvasWidth;
    std::fill(row + left, row + right + 1, stored);
  }
}

// One Bresenham walk along the major axis. Only the steps whose major
// coordinate lies on the canvas can plot anything, so the walk starts at the
// first of them (the error term is derived in closed form) and ends after the
// last: a line with far-off endpoints costs no more than one across the screen.
struct LineWalk {
  std::int64_t major0;   // start on the major axis
  std::int64_t minor0;   // start on the minor axis
  std::int64_t dMajor;   // |delta| on the major axis (>= dMinor)
  std::int64_t dMinor;
  int sMajor;            // step directions
  int sMinor;
  int majorLimit;        // units on the major axis
};

template <typename Plot>
void walkLine(const LineWalk& w, Plot plot) {
  std::int64_t first = 0;
  std::int64_t last = w.dMajor;
  if (w.sMajor > 0) {
    first = std::max<std::int64_t>(first, -w.major0);
    last = std::min<std::int64_t>(last, w.majorLimit - 1 - w.major0);
  } else {
    first = std::max<std::int64_t>(first, w.major0 - (w.majorLimit - 1));
    last = std::min<std::int64_t>(last, w.major0);
  }
  if (first > last) return;
  // After k steps the accumulated error is dMajor / 2 + k * dMinor; every whole
  // dMajor in it was one minor step. Both factors are below 2^32, so the
  // product fits in 64 unsigned bits.
  std::int64_t minor = w.minor0;
  std::int64_t err = w.dMajor / 2;
  if (w.dMajor > 0) {
    const std::uint64_t acc = static_cast<std::uint64_t>(w.dMajor / 2) +
                              static_cast<std::uint64_t>(first) * static_cast<std::uint64_t>(w.dMinor);
    const std::uint64_t steps = acc / static_cast<std::uint64_t>(w.dMajor);
    err = static_cast<std::int64_t>(acc % static_cast<std::uint64_t>(w.dMajor));
    minor += w.sMinor * static_cast<std::int64_t>(steps);
  }
  std::int64_t major = w.major0 + w.sMajor * first;
  for (std::int64_t k = first;; ++k) {
    plot(major, minor);
    if (k == last) break;
    major += w.sMajor;
    err += w.dMinor;
    if (err >= w.dMajor) {
      minor += w.sMinor;
      err -= w.dMajor;
    }
  }
}

// Pulls a coordinate that lies off the canvas to just off its edge, so that
// it stays a valid int and clips exactly as the original would.
int clampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, -1, kCanvasWidth));
}

}  // namespace

void fillRect(LcdCanvas& canvas, int x0, int y0, int x1, int y1, std::uint16_t colour, bool fullRes) {
  const int left = std::max(std::min(x0, x1), 0);
  const int right = std::min(std::max(x0, x1), unitsAcross(fullRes) - 1);
  const int top = std::max(std::min(y0, y1), 0);
  const int bottom = std::min(std::max(y0, y1), unitsDown(fullRes) - 1);
  if (top > bottom || left > right) return;
  const int s = fullRes ? 1 : 2;
  fillPixels(canvas, left * s, top * s, right * s + s - 1, bottom * s + s - 1, toRgb444(colour));
}

void drawLine(LcdCanvas& canvas, int x0, int y0, int x1, int y1, std::uint16_t colour, bool fullRes) {
  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(x1) - x0);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(y1) - y0);
  const int sx = x1 > x0 ? 1 : -1;
  const int sy = y1 > y0 ? 1 : -1;
  if (dx >= dy) {
    walkLine({x0, y0, dx, dy, sx, sy, unitsAcross(fullRes)}, [&](std::int64_t x, std::int64_t y) {
      putPixel(canvas, clampToInt(x), clampToInt(y), colour, fullRes);
    });
  } else {
    walkLine({y0, x0, dy, dx, sy, sx, unitsDown(fullRes)}, [&](std::int64_t y, std::int64_t x) {
      putPixel(canvas, clampToInt(x), clampToInt(y), colour, fullRes);
    });
  }
}

void drawMeterCell(LcdCanvas& canvas, int column, int level, std::uint16_t colour, bool narrow) {
  const std::int64_t width = narrow ? kMeterNarrowWidth : kMeterWideWidth;
  const std::int64_t left = narrow ? kMeterNarrowLeft + width * column : width * column;
  const std::int64_t top = kMeterBottomTop - std::int64_t{kMeterRowPitch} * level;
  const std::int64_t bottom = top + kMeterLitRows - 1;
  const std::int64_t gapLeft = left + width - kMeterGapColumns;
  fillRect(canvas, clampToInt(left), clampToInt(top), clampToInt(gapLeft - 1), clampToInt(bottom), colour,
           true);
  fillRect(canvas, clampToInt(gapLeft), clampToInt(top), clampToInt(left + width - 1), clampToInt(bottom),
           canvas.panel, true);
}

void clearCanvas(LcdCanvas& canvas) { canvas.pixels.fill(0); }

void toRgb32(const LcdCanvas& canvas, OutputFrame& out) {
  for (std::size_t i = 0; i < kPixelCount; ++i) {
    const std::uint32_t p = canvas.pixels[i];
    out[i] = ((p & 0xF00u) * 0x1100u) | ((p & 0x0F0u) * 0x110u) | ((p & 0x00Fu) * 0x11u);
  }
}

}  // namespace pelmora
