#include "linux/app/window_geometry.h"

#include <gtest/gtest.h>

namespace pelmora::app {
namespace {

TEST(WindowGeometry, OnlyWholeScalesOneToSixCanBeChosen) {
  EXPECT_EQ(scaleFromChoice(0), std::nullopt);
  EXPECT_EQ(scaleFromChoice(7), std::nullopt);
  EXPECT_EQ(scaleFromChoice(-3), std::nullopt);
  EXPECT_EQ(scaleFromChoice(6), 6);
}

// A 1280 x 800 screen with a 32-pixel panel on top, and a second monitor
// to its right; the window frame adds 0 x 37 (a title bar).
constexpr Rect kLaptop{0, 32, 1280, 768};
constexpr Size kTitleBar{0, 37};

TEST(WindowGeometry, AScaleChangeMovesTheWindowJustEnoughToFit) {
  const struct {
    Point from;
    Size window;
    Rect work;
    Point expected;
  } cases[] = {
      {{100, 200}, {320, 207}, kLaptop, {100, 200}},       // fits where it is
      {{900, 500}, {640, 377}, kLaptop, {640, 423}},       // pulled back from the right and bottom
      {{-50, 0}, {320, 207}, kLaptop, {0, 32}},            // never above the panel or off the left
      {{300, 300}, {1920, 1057}, kLaptop, {0, 32}},        // larger than the screen: top-left pinned
      {{3000, 50}, {960, 547}, {1280, 0, 1920, 1080}, {2240, 50}},  // on the second monitor
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fitInWorkArea(c.from, c.window, c.work), c.expected) << c.from.x << "," << c.from.y;
  }
}

TEST(WindowGeometry, ScalesLargerThanTheWorkAreaAreNotOffered) {
  EXPECT_EQ(largestFittingScale(kTitleBar, kLaptop), 4) << "4x is exactly as wide as the screen";
  EXPECT_EQ(largestFittingScale(kTitleBar, {0, 0, 1920, 1200}), 6);
  EXPECT_EQ(largestFittingScale(kTitleBar, {0, 0, 1920, 1056}), 5) << "6x needs 1057 rows";
  EXPECT_EQ(largestFittingScale(kTitleBar, {0, 0, 200, 100}), 1) << "1x is always offered";
}

}  // namespace
}  // namespace pelmora::app
