// The LCD window's title and geometry, and the copied picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Pelmora_mac/ui/frame_image.h"
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
  EXPECT_EQ(pictureNoticeText(PictureNotice::Saved, host::UiLanguage::Japanese), "保存先:");
  EXPECT_EQ(pictureNoticeText(PictureNotice::NotSaved, host::UiLanguage::English), "Not saved:");
}

TEST(WindowTitle, ReplayNamesTheFileItsRecorderAndHowItEnded) {
  trace::Recording trace;
  trace.header.system = HostSystem::windowsOs;
  trace.header.programVersion = "2026.10.17";
  EXPECT_EQ(replayLabel("/Users/a/Desktop/bug.trace", trace, host::UiLanguage::English),
            "\xE2\x80\x94 Replay of bug.trace (Windows, 2026-10-17)");
  EXPECT_EQ(replayLabel("bug.trace", trace, host::UiLanguage::Japanese),
            "\xE2\x80\x94 再生: bug.trace (Windows, 2026-10-17)");
  EXPECT_EQ(replayEndingText(trace::ReplayEnding::differs, host::UiLanguage::English),
            "stopped: this program differs from the one that recorded it");
  EXPECT_EQ(replayEndingText(trace::ReplayEnding::sizeBound, host::UiLanguage::Japanese),
            "記録が上限に達したところで終了");
}

TEST(WindowGeometry, FirstScaleIsAskedOrTheLargestUpTo2ThatLeavesTheScreenRoom) {
  EXPECT_EQ(firstScale(0, {1440, 875}), 2);   // a laptop's visible frame
  EXPECT_EQ(firstScale(0, {3008, 1667}), 2);  // never above 2 unasked
  EXPECT_EQ(firstScale(0, {900, 540}), 1);    // 2 would take more than two thirds
  EXPECT_EQ(firstScale(5, {900, 540}), 5);
}

TEST(FrameImage, ScaledPictureRepeatsEachPixelAsASquare) {
  std::vector<std::uint8_t> frame(kRgbaFrameBytes);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7);
  const std::vector<std::uint8_t> picture = scaledPicture(frame.data(), 3);
  ASSERT_EQ(picture.size(), kRgbaFrameBytes * 9);
  const std::size_t width = 320 * 3;
  for (std::size_t y : {0u, 2u, 300u, 509u}) {
    for (std::size_t x : {0u, 1u, 2u, 3u, 959u}) {
      const std::size_t from = (y / 3 * 320 + x / 3) * 4;
      const std::size_t to = (y * width + x) * 4;
      EXPECT_TRUE(std::equal(frame.begin() + from, frame.begin() + from + 4, picture.begin() + to)) << x << "," << y;
    }
  }
  EXPECT_EQ(scaledPicture(frame.data(), 1), frame);
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
