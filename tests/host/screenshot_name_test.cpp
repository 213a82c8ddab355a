#include "host/screenshot_name.h"

#include <gtest/gtest.h>

#include <set>

namespace pelmora::host {
namespace {

std::tm sampleTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 9;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 3;
  return t;
}

TEST(ScreenshotName, TimestampedAndSortable) {
  EXPECT_EQ(screenshotFileName(sampleTime()), "pelmora-20261209-070503.png");
}

TEST(ScreenshotName, NeverOverwritesAnEarlierPicture) {
  std::set<std::string> taken;
  auto exists = [&taken](const std::string& p) { return taken.count(p) > 0; };
  EXPECT_EQ(screenshotPath("/home/u/Pictures", sampleTime(), exists),
            "/home/u/Pictures/pelmora-20261209-070503.png");
  taken.insert("/home/u/Pictures/pelmora-20261209-070503.png");
  taken.insert("/home/u/Pictures/pelmora-20261209-070503-2.png");
  EXPECT_EQ(screenshotPath("/home/u/Pictures/", sampleTime(), exists),
            "/home/u/Pictures/pelmora-20261209-070503-3.png");
  EXPECT_EQ(screenshotPath("C:\\Users\\u\\Pictures", sampleTime(), exists),
            "C:\\Users\\u\\Pictures\\pelmora-20261209-070503.png");
  // A folder where every variant exists gives up instead of looping.
  EXPECT_EQ(screenshotPath("/x", sampleTime(), [](const std::string&) { return true; }), "");
}

TEST(ScreenshotName, FolderFallsBackToHome) {
  EXPECT_EQ(screenshotFolder("/home/u/Bilder", "/home/u"), "/home/u/Bilder");
  EXPECT_EQ(screenshotFolder(nullptr, "/home/u"), "/home/u");
  EXPECT_EQ(screenshotFolder("", "/home/u"), "/home/u");
  EXPECT_EQ(screenshotFolder(nullptr, nullptr), ".");
}

}  // namespace
}  // namespace pelmora::host
