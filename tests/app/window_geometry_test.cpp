#include "linux/app/window_geometry.h"

#include <gtest/gtest.h>

namespace pelmora::app {
namespace {

TEST(WindowGeometry, OnlyWholeScalesOneToSixAreAccepted) {
  EXPECT_EQ(lcdAreaSize(1), (Size{320, 170}));
  EXPECT_EQ(lcdAreaSize(3), (Size{960, 510}));
  EXPECT_EQ(lcdAreaSize(6), (Size{1920, 1020}));
  EXPECT_EQ(scaleFromChoice(0), std::nullopt);
  EXPECT_EQ(scaleFromChoice(7), std::nullopt);
  EXPECT_EQ(scaleFromChoice(-3), std::nullopt);
  EXPECT_EQ(scaleFromChoice(6), 6);
}

TEST(WindowGeometry, KeyboardMenuOpensAtTheCentreOfThePicture) {
  EXPECT_EQ(keyboardMenuPoint(1), (Point{160, 85}));
  EXPECT_EQ(keyboardMenuPoint(4), (Point{640, 340}));
}

TEST(WindowGeometry, TopLeftStaysWhenInsideTheWorkArea) {
  const Rect work{0, 32, 1366, 736};
  EXPECT_EQ(keepInWorkArea({100, 200}, work), (Point{100, 200}));
}

TEST(WindowGeometry, LargeScaleKeepsAGripInsideTheWorkArea) {
  // A 1366 x 768 screen with a 32-pixel panel on top: whatever the scale,
  // at least 80 x 40 pixels of the window stay reachable.
  const Rect work{0, 32, 1366, 736};
  EXPECT_EQ(keepInWorkArea({1350, 760}, work), (Point{1286, 728}));
  EXPECT_EQ(keepInWorkArea({-500, 0}, work), (Point{0, 32}));
}

TEST(WindowGeometry, SecondMonitorAndTinyWorkAreas) {
  EXPECT_EQ(keepInWorkArea({1000, 50}, {1920, 0, 1280, 1024}), (Point{1920, 50}));
  // A work area smaller than the grip pins the corner to its top-left.
  EXPECT_EQ(keepInWorkArea({30, 30}, {10, 10, 50, 20}), (Point{10, 10}));
}

}  // namespace
}  // namespace pelmora::app
