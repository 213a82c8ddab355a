#include "windows/app/window_messages.h"

#include <gtest/gtest.h>

#include <string>

#include "host/menu_commands.h"
#include "windows/app/menu_model.h"

namespace pelmora::winapp {
namespace {

TEST(WindowMessages, MaximisedStartsAreShownNormallyOthersPassThrough) {
  EXPECT_EQ(firstShowCommand(3), 1);
  for (const int other : {0, 1, 2, 5, 7, 10}) EXPECT_EQ(firstShowCommand(other), other);
}

TEST(WindowMessages, PointsAreSigned16BitWordsBothWays) {
  struct Case {
    std::intptr_t lParam;
    host::Point point;
  };
  const Case cases[] = {
      {0x00550064, {100, 85}},
      {0xFFF6FF38, {-200, -10}},  // a monitor left of and above the primary
      {0x7FFF8000, {-32768, 32767}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pointFromLParam(c.lParam), c.point);
    EXPECT_EQ(pointFromLParam(lParamFromPoint(c.point)), c.point);
  }
}

TEST(WindowMessages, OnlySizingAndMaximisingAreSwallowed) {
  EXPECT_TRUE(isSwallowedSysCommand(0xF030));
  EXPECT_TRUE(isSwallowedSysCommand(0xF032));  // maximise by double click on the caption
  EXPECT_TRUE(isSwallowedSysCommand(0xF008));  // sizing from the bottom-right corner
  for (const std::uintptr_t kept : {0xF020u, 0xF060u, 0xF010u, 0xF120u, 0xF100u}) {
    EXPECT_FALSE(isSwallowedSysCommand(kept)) << std::hex << kept;
  }
}

TEST(WindowMessages, OnlyCtrlAloneWithCOrSAsksForThePicture) {
  EXPECT_EQ(pictureKeyCommand('C', true, false), host::kCommandCopyPicture);
  EXPECT_EQ(pictureKeyCommand('S', true, false), host::kCommandSavePicture);
  EXPECT_EQ(pictureKeyCommand('C', false, false), 0);  // a plain C
  EXPECT_EQ(pictureKeyCommand('S', true, true), 0);    // Ctrl+Shift+S or Ctrl+Alt+S
  EXPECT_EQ(pictureKeyCommand('V', true, false), 0);
}

TEST(WindowMessages, OnlyTheTwoResumeBroadcastsCount) {
  EXPECT_TRUE(isResumeBroadcast(18));
  EXPECT_TRUE(isResumeBroadcast(7));
  for (const std::uintptr_t other : {0u, 4u, 10u, 32787u}) EXPECT_FALSE(isResumeBroadcast(other));
}

TEST(WindowMessages, AtAnotherDpiOnlyTheFrameChanges) {
  EXPECT_EQ(windowSizeAt(1, {12, 58}), (host::Size{332, 228})) << "the picture keeps its physical pixels";
  EXPECT_EQ(windowSizeAt(3, {12, 58}), (host::Size{972, 568}));
}

TEST(MenuModel, MarksFollowTheWindowTextsTheLanguageAndKeyboardOpensAtThePictureCentre) {
  constexpr host::UiLanguage kEnglish = host::UiLanguage::English;
  EXPECT_EQ(menuModel(1, false, kEnglish).radioCommand, 40001);
  EXPECT_EQ(menuModel(6, true, host::UiLanguage::Japanese).radioCommand, 40006);
  EXPECT_TRUE(menuModel(6, true, kEnglish).topmostChecked);
  EXPECT_FALSE(menuModel(2, false, kEnglish).topmostChecked);
  const auto texts = [](host::UiLanguage language) {
    const MenuTexts& t = *menuModel(1, false, language).texts;
    return std::u16string(t.scaleSubmenu) + u"|" + t.topmost + u"|" + t.copyPicture + u"|" + t.savePicture + u"|" +
           t.exit + u"|" + t.copiedNotice + u"|" + t.savedNotice + u"|" + t.notSavedNotice;
  };
  EXPECT_EQ(texts(host::UiLanguage::Japanese),
            u"拡大率(&Z)|常に手前に表示|画像をコピー(&C)\tCtrl+C|画像を保存(&V)\tCtrl+S|終了(&X)|"
            u"クリップボードにコピーしました|保存先: |保存できません: ");
  EXPECT_EQ(texts(host::UiLanguage::English),
            u"&Scale|Always on Top|&Copy Picture\tCtrl+C|Sa&ve Picture\tCtrl+S|E&xit|"
            u"Copied to the clipboard|Saved: |Not saved: ");

  EXPECT_EQ(menuAnchor(lParamFromPoint({-1, -1}), 2), (MenuAnchor{{320, 170}, true}));
  EXPECT_EQ(menuAnchor(lParamFromPoint({-1, 40}), 2), (MenuAnchor{{-1, 40}, false}));
  EXPECT_EQ(menuAnchor(lParamFromPoint({700, 300}), 2), (MenuAnchor{{700, 300}, false}));
}

}  // namespace
}  // namespace pelmora::winapp
