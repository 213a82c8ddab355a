#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <set>
#include <utility>

#include "core/render/lcd_canvas.h"

namespace pelmora {
namespace {

constexpr std::uint16_t kWhite = 0xFFFF;
constexpr std::uint16_t kStoredWhite = 0x0FFF;

using PixelSet = std::set<std::pair<int, int>>;

// Canvases are large; keep them off the test's stack.
std::unique_ptr<LcdCanvas> blankCanvas() { return std::make_unique<LcdCanvas>(); }

PixelSet litPixels(const LcdCanvas& c) {
  PixelSet lit;
  for (int y = 0; y < kCanvasHeight; ++y)
    for (int x = 0; x < kCanvasWidth; ++x)
      if (c.pixels[static_cast<std::size_t>(y * kCanvasWidth + x)] != 0) lit.insert({x, y});
  return lit;
}

PixelSet box(int x0, int y0, int x1, int y1) {
  PixelSet s;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) s.insert({x, y});
  return s;
}

TEST(ColourReduction, KeepsTopFourBitsWithoutCarrying) {
  EXPECT_EQ(toRgb444(0xFFFF), 0x0FFF);
  EXPECT_EQ(toRgb444(0xF800), 0x0F00);
  EXPECT_EQ(toRgb444(0x07E0), 0x00F0);
  EXPECT_EQ(toRgb444(0x001F), 0x000F);
  EXPECT_EQ(toRgb444(0x0861), 0x0000);
  EXPECT_EQ(toRgb444(0x0842), 0x0001);
}

TEST(ToRgb32, WidensEachChannelByRepetition) {
  auto c = blankCanvas();
  c->pixels[0] = 0x0FFF;
  c->pixels[1] = 0x0F00;
  c->pixels[2] = 0x0080;
  c->pixels[kPixelCount - 1] = 0x0123;
  auto out = std::make_unique<OutputFrame>();
  out->fill(0xDEADBEEF);
  toRgb32(*c, *out);
  EXPECT_EQ((*out)[0], 0x00FFFFFFu);
  EXPECT_EQ((*out)[1], 0x00FF0000u);
  EXPECT_EQ((*out)[2], 0x00008800u);
  EXPECT_EQ((*out)[3], 0u);
  EXPECT_EQ((*out)[kPixelCount - 1], 0x00112233u);
}

TEST(PutPixel, HalfResolutionUnitCoversTwoByTwo) {
  auto c = blankCanvas();
  putPixel(*c, 159, 84, kWhite, false);
  EXPECT_EQ(litPixels(*c), box(318, 168, 319, 169));
  EXPECT_EQ(c->pixels[169 * 320 + 319], kStoredWhite);
}

TEST(PutPixel, ClipsOutsideAndNegativeInBothSystems) {
  auto c = blankCanvas();
  for (bool full : {true, false}) {
    putPixel(*c, -1, 5, kWhite, full);
    putPixel(*c, 5, -1, kWhite, full);
    putPixel(*c, INT_MIN, INT_MIN, kWhite, full);
    putPixel(*c, INT_MAX, 0, kWhite, full);
  }
  putPixel(*c, 160, 0, kWhite, false);
  putPixel(*c, 0, 85, kWhite, false);
  putPixel(*c, 320, 0, kWhite, true);
  putPixel(*c, 0, 170, kWhite, true);
  EXPECT_TRUE(litPixels(*c).empty());
}

TEST(FillRect, CornersInAnyOrderAndClipped) {
  auto a = blankCanvas();
  auto b = blankCanvas();
  fillRect(*a, 10, 10, 5, 5, kWhite, true);
  fillRect(*b, 5, 5, 10, 10, kWhite, true);
  EXPECT_EQ(litPixels(*a), box(5, 5, 10, 10));
  EXPECT_EQ(litPixels(*a), litPixels(*b));

  auto c = blankCanvas();
  fillRect(*c, -5, -5, 2, 2, kWhite, true);
  EXPECT_EQ(litPixels(*c), box(0, 0, 2, 2));

  auto d = blankCanvas();
  fillRect(*d, 150, 80, 200, 100, kWhite, false);
  EXPECT_EQ(litPixels(*d), box(300, 160, 319, 169));

  auto e = blankCanvas();
  fillRect(*e, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kWhite, false);
  EXPECT_EQ(litPixels(*e).size(), kPixelCount);

  auto f = blankCanvas();
  fillRect(*f, 320, 0, 400, 10, kWhite, true);
  fillRect(*f, -10, 0, -1, 10, kWhite, false);
  EXPECT_TRUE(litPixels(*f).empty());
}

TEST(DrawLine, BresenhamEndpointsAndSteps) {
  auto c = blankCanvas();
  drawLine(*c, 0, 0, 0, 0, kWhite, true);
  EXPECT_EQ(litPixels(*c), (PixelSet{{0, 0}}));

  c = blankCanvas();
  drawLine(*c, 0, 0, 3, 1, kWhite, true);
  EXPECT_EQ(litPixels(*c), (PixelSet{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));

  // Reversed direction starts its error term from the other end.
  c = blankCanvas();
  drawLine(*c, 3, 1, 0, 0, kWhite, true);
  EXPECT_EQ(litPixels(*c), (PixelSet{{3, 1}, {2, 1}, {1, 0}, {0, 0}}));

  c = blankCanvas();
  drawLine(*c, 10, 2, 11, 7, kWhite, true);
  EXPECT_EQ(litPixels(*c), (PixelSet{{10, 2}, {10, 3}, {10, 4}, {11, 5}, {11, 6}, {11, 7}}));

  c = blankCanvas();
  drawLine(*c, 132, 40, 143, 40, kWhite, false);
  EXPECT_EQ(litPixels(*c), box(264, 80, 287, 81));
}

// Reference walk of the plain algorithm, for lines that stay within int.
PixelSet referenceLine(int x0, int y0, int x1, int y1) {
  PixelSet s;
  auto plot = [&](int x, int y) {
    if (x >= 0 && x < kCanvasWidth && y >= 0 && y < kCanvasHeight) s.insert({x, y});
  };
  int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  int sx = x1 > x0 ? 1 : -1, sy = y1 > y0 ? 1 : -1;
  int x = x0, y = y0;
  plot(x, y);
  if (dx >= dy) {
    int err = dx / 2;
    for (int i = 0; i < dx; ++i) {
      x += sx;
      err += dy;
      if (err >= dx) y += sy, err -= dx;
      plot(x, y);
    }
  } else {
    int err = dy / 2;
    for (int i = 0; i < dy; ++i) {
      y += sy;
      err += dx;
      if (err >= dy) x += sx, err -= dy;
      plot(x, y);
    }
  }
  return s;
}

TEST(DrawLine, ClippedLinesMatchTheUnclippedWalk) {
  const int cases[][4] = {{-500, -37, 700, 211},  {700, 211, -500, -37}, {-3000, 5, 3000, 160},
                          {319, -900, 0, 1000},   {50, -20000, 51, 20000}, {-10, 85, 400, 84},
                          {330, 10, 330, 100},    {-100000, 169, 100000, 0}};
  for (const auto& k : cases) {
    auto c = blankCanvas();
    drawLine(*c, k[0], k[1], k[2], k[3], kWhite, true);
    EXPECT_EQ(litPixels(*c), referenceLine(k[0], k[1], k[2], k[3]))
        << k[0] << "," << k[1] << " -> " << k[2] << "," << k[3];
  }
}

TEST(DrawLine, ExtremeEndpointsFinishAndStayInBounds) {
  auto c = blankCanvas();
  drawLine(*c, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kWhite, true);
  drawLine(*c, INT_MAX, 0, INT_MIN, 169, kWhite, false);
  drawLine(*c, 5, INT_MIN, 5, INT_MAX, kWhite, true);
  EXPECT_EQ(c->pixels[5], kStoredWhite);  // the vertical line crosses row 0
}

TEST(DrawMeterCell, WideAndNarrowGeometry) {
  auto c = blankCanvas();
  c->panel = 0xF800;
  drawMeterCell(*c, 15, 15, kWhite, true);
  EXPECT_EQ(litPixels(*c), box(248, 43, 255, 48));
  for (int y = 43; y <= 48; ++y) {
    EXPECT_EQ(c->pixels[static_cast<std::size_t>(y * 320 + 253)], kStoredWhite);
    EXPECT_EQ(c->pixels[static_cast<std::size_t>(y * 320 + 254)], 0x0F00);
    EXPECT_EQ(c->pixels[static_cast<std::size_t>(y * 320 + 255)], 0x0F00);
  }

  c = blankCanvas();
  c->panel = 0xF800;
  drawMeterCell(*c, 0, 0, kWhite, false);
  EXPECT_EQ(litPixels(*c), box(0, 163, 15, 168));
  EXPECT_EQ(c->pixels[163 * 320 + 13], kStoredWhite);
  EXPECT_EQ(c->pixels[163 * 320 + 14], 0x0F00);

  c = blankCanvas();
  drawMeterCell(*c, INT_MAX, INT_MIN, kWhite, false);
  drawMeterCell(*c, -1, 3, kWhite, false);
  drawMeterCell(*c, 3, 22, kWhite, true);
  EXPECT_TRUE(litPixels(*c).empty());
}

TEST(ClearCanvas, ZeroesPixelsAndKeepsTheme) {
  auto c = blankCanvas();
  c->foreground = 0x1234;
  fillRect(*c, 0, 0, 159, 84, kWhite, false);
  clearCanvas(*c);
  EXPECT_TRUE(litPixels(*c).empty());
  EXPECT_EQ(c->foreground, 0x1234);
}

}  // namespace
}  // namespace pelmora
