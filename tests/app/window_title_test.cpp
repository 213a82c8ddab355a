#include "linux/app/window_title.h"

#include <gtest/gtest.h>

namespace pelmora::app {
namespace {

TEST(WindowTitle, SerialFollowsOnlyWhenPresent) {
  EXPECT_EQ(windowTitle(u""), "Pelmora Ver 2026-10-17");
  EXPECT_EQ(windowTitle(u"A1234"), "Pelmora Ver 2026-10-17 Serial:A1234");
}

TEST(WindowTitle, NoticeFollowsTheSerial) {
  EXPECT_EQ(titleWithNotice(u"A1", "Saved:/tmp/x.png"), "Pelmora Ver 2026-10-17 Serial:A1 Saved:/tmp/x.png");
  EXPECT_EQ(titleWithNotice(u"", ""), "Pelmora Ver 2026-10-17");
}

TEST(WindowTitle, SerialIsConvertedToUtf8) {
  EXPECT_EQ(toUtf8(u"\u00e9\u65e5"), "\xC3\xA9\xE6\x97\xA5");
  EXPECT_EQ(toUtf8(u"\U0001F3B9"), "\xF0\x9F\x8E\xB9");
}

TEST(WindowTitle, BrokenSurrogatesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  const char16_t loneHigh[] = {u'A', 0xD83C, u'B', 0};
  const char16_t loneLow[] = {0xDFB9, 0};
  const char16_t highAtEnd[] = {u'A', 0xD83C, 0};
  EXPECT_EQ(toUtf8(loneHigh), "A" + replacement + "B");
  EXPECT_EQ(toUtf8(loneLow), replacement);
  EXPECT_EQ(toUtf8(highAtEnd), "A" + replacement);
}

}  // namespace
}  // namespace pelmora::app
