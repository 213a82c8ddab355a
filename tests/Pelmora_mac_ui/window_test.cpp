// The LCD window's title and geometry.
#include <gtest/gtest.h>

#include "Pelmora_mac/ui/window_geometry.h"
#include "Pelmora_mac/ui/window_title.h"

namespace pelmora::mac {
namespace {

TEST(WindowTitle, NamesTheSerialOnlyWhileADeviceIsInUse) {
  const std::u16string version = chooseVersion(std::nullopt);
  EXPECT_EQ(windowTitle(version, u""), u"Pelmora Ver 2026-10-17");
  EXPECT_EQ(windowTitle(version, u"A1234"), u"Pelmora Ver 2026-10-17 Serial:A1234");
  EXPECT_EQ(windowTitle(u"2027-01-02", u"A1"), u"Pelmora Ver 2027-01-02 Serial:A1");
  // An empty bundle entry would leave the version out altogether.
  EXPECT_EQ(chooseVersion(u""), kDefaultVersion);
  EXPECT_EQ(chooseVersion(u"2027-01-02"), u"2027-01-02");
}

TEST(WindowGeometry, ScaleChangeKeepsTheTopLeftCorner) {
  // Screen coordinates: a window whose top-left corner is at (100, 800).
  const Rect frame{{100, 602}, {320, 198}};
  const auto change = planScaleChange(3, frame);
  ASSERT_TRUE(change);
  EXPECT_EQ(change->scale, 3);
  EXPECT_EQ(change->contentSize, (Size{960, 538}));
  EXPECT_EQ(change->topLeft, (Point{100, 800}));
  EXPECT_EQ(planScaleChange(6, frame)->contentSize, (Size{1920, 1048}));
  EXPECT_EQ(planScaleChange(1, frame)->contentSize, (Size{320, 198}));
  for (long tag : {0L, 7L, -1L, 40001L}) EXPECT_FALSE(planScaleChange(tag, frame)) << tag;
}

TEST(WindowGeometry, CascadeStartsOverEveryEightWindows) {
  EXPECT_EQ(cascadeOffset(0), (Point{0, 0}));
  EXPECT_EQ(cascadeOffset(1), (Point{24, -24}));
  EXPECT_EQ(cascadeOffset(7), (Point{168, -168}));
  EXPECT_EQ(cascadeOffset(8), cascadeOffset(0));
  EXPECT_EQ(cascadeOffset(9), cascadeOffset(1));
}

TEST(WindowGeometry, ChromePutsTheBarAboveTheLcdAndNeverGoesNegative) {
  const ChromeLayout atScale2 = layoutChrome(contentSizeForScale(2));
  EXPECT_EQ(atScale2.bar, (Rect{{0, 0}, {640, 28}}));
  EXPECT_EQ(atScale2.titleLabel, (Rect{{76, 6}, {556, 17}}));
  EXPECT_EQ(atScale2.lcd, (Rect{{0, 28}, {640, 340}}));
  const ChromeLayout tiny = layoutChrome({50, 20});
  EXPECT_EQ(tiny.titleLabel.size.width, 0);
  EXPECT_EQ(tiny.lcd.size.height, 0);
  // Buttons at x 10, 30, 50, centred on whole points.
  EXPECT_EQ(standardButtonOrigin(0, 16), (Point{10, 6}));
  EXPECT_EQ(standardButtonOrigin(1, 15), (Point{30, 6}));
  EXPECT_EQ(standardButtonOrigin(2, 14), (Point{50, 7}));
}

}  // namespace
}  // namespace pelmora::mac
