#include <gtest/gtest.h>

#include "host/menu_commands.h"
#include "host/program_options.h"
#include "host/ui_language.h"
#include "host/window_geometry.h"
#include "host/window_title.h"

namespace pelmora::host {
namespace {

TEST(WindowTitle, SerialFollowsOnlyWhenPresent) {
  EXPECT_EQ(windowTitle(u""), u"Pelmora Ver 2026-10-17");
  EXPECT_EQ(windowTitle(u"A1234"), u"Pelmora Ver 2026-10-17 Serial:A1234");
  EXPECT_EQ(windowTitle(u"A1234", u"Saved: C:\\p.png"), u"Pelmora Ver 2026-10-17 Serial:A1234 Saved: C:\\p.png");
  EXPECT_EQ(windowTitle(u"", u"Copied"), u"Pelmora Ver 2026-10-17 Copied");
}

TEST(ProgramOptions, KnownOptionsAreTakenAndTheSystemsOwnArgumentsSkipped) {
  const std::vector<std::string> args{"-psn_0_1234", "--demo", "-NSDocumentRevisionsDebugMode",
                                      "YES", "--record", "C:\\trace.pmt", "--scale=3", "-AppleLanguages", "(ja)"};
  const ProgramOptions options = parseProgramOptions(args);
  EXPECT_EQ(options.action, ProgramAction::Run) << options.error;
  EXPECT_TRUE(options.demo);
  EXPECT_EQ(options.recordPath, "C:\\trace.pmt");
  EXPECT_EQ(options.scale, 3);
  EXPECT_EQ(parseProgramOptions({}).scale, 0);
  EXPECT_EQ(parseProgramOptions(std::vector<std::string>{"--record=a b"}).recordPath, "a b");
  EXPECT_EQ(parseProgramOptions(std::vector<std::string>{"--replay", "C:\\x.trace"}).replayPath, "C:\\x.trace");
}

TEST(ProgramOptions, HelpAndVersionAnswerAndAnythingUnknownIsNamed) {
  struct Case {
    std::vector<std::string> args;
    ProgramAction action;
    std::string error;
  };
  const Case cases[] = {
      {{"--help"}, ProgramAction::Help, ""},
      {{"--dmeo", "--help"}, ProgramAction::Help, "unrecognized option '--dmeo'"},  // help still answers
      {{"--version", "--bogus"}, ProgramAction::Version, ""},
      {{"--dmeo"}, ProgramAction::Error, "unrecognized option '--dmeo'"},
      {{"--demo", "trace.pmt"}, ProgramAction::Error, "unexpected argument 'trace.pmt'"},
      {{"--record"}, ProgramAction::Error, "option '--record' needs a value"},
      {{"--record="}, ProgramAction::Error, "option '--record' needs a value"},
      {{"--scale", "7"}, ProgramAction::Error, "invalid scale '7' (1 to 6)"},
      {{"--replay", "a.trace", "--demo"}, ProgramAction::Error,
       "--replay shows a trace instead of a device; it goes with neither --demo nor --record"},
      {{"--scale=0", "--x"}, ProgramAction::Error, "invalid scale '0' (1 to 6)"},  // the first problem
  };
  for (const Case& c : cases) {
    const ProgramOptions options = parseProgramOptions(c.args);
    EXPECT_EQ(options.action, c.action) << c.args.front();
    EXPECT_EQ(options.error, c.error) << c.args.front();
  }
  EXPECT_EQ(programVersionText(), "Pelmora 2026-10-17");
  const std::string help = programHelpText("Pelmora.exe");
  EXPECT_TRUE(help.starts_with("Usage: Pelmora.exe [OPTION]...\n")) << help;
  for (const char* option : {"--demo", "--record FILE", "--replay FILE", "--scale N", "--help", "--version"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(WindowGeometry, PictureSizeAndKeyboardMenuPointFollowTheScale) {
  EXPECT_EQ(lcdAreaSize(1), (Size{320, 170}));
  EXPECT_EQ(lcdAreaSize(6), (Size{1920, 1020}));
  EXPECT_EQ(keyboardMenuPoint(1), (Point{160, 85}));
  EXPECT_EQ(keyboardMenuPoint(3), (Point{480, 255}));
  EXPECT_FALSE(isValidScale(0));
  EXPECT_FALSE(isValidScale(7));
}

TEST(WindowGeometry, TopLeftIsKeptSoThatAGripStaysInTheWorkArea) {
  struct Case {
    Point requested;
    Rect work;
    Point expected;
  };
  // A 1366 x 768 screen with a 32-pixel panel at the top.
  const Rect laptop{0, 32, 1366, 736};
  const Case cases[] = {
      {{100, 200}, laptop, {100, 200}},            // inside: unchanged
      {{1350, 760}, laptop, {1286, 728}},          // past the bottom right
      {{-500, 0}, laptop, {0, 32}},                // above and left
      {{1286, 728}, laptop, {1286, 728}},          // exactly at the limit
      {{1000, 50}, {1920, 0, 1280, 1024}, {1920, 50}},  // second monitor to the right
      {{-3000, -20}, {-1920, -200, 1920, 1080}, {-1920, -20}},  // monitor left of the primary
      {{30, 30}, {10, 10, 50, 20}, {10, 10}},      // work area smaller than the grip
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keepInWorkArea(c.requested, c.work), c.expected)
        << c.requested.x << "," << c.requested.y << " in " << c.work.x << "," << c.work.y;
  }
}

TEST(WindowGeometry, FirstScaleIsTwoWhereItLeavesRoomOtherwiseOne) {
  struct Case {
    Rect work;
    int expected;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1048}, 2},  // full HD less a panel
      {{0, 32, 3840, 2128}, 2},  // never more than 2 unasked
      {{0, 32, 1366, 736}, 2},   // a laptop
      {{0, 0, 1024, 568}, 2},    // 377 high: just two thirds
      {{0, 0, 1024, 560}, 1},    // too low
      {{0, 0, 800, 600}, 1},     // too narrow
      {{0, 0, 0, 0}, 1},         // nothing known
  };
  for (const Case& c : cases) EXPECT_EQ(firstScale({2, 37}, c.work), c.expected) << c.work.width << "x" << c.work.height;
}

TEST(MenuCommands, EachIdAsksForItsAction) {
  struct Case {
    int command;
    MenuChoice expected;
  };
  const Case cases[] = {
      {40001, {MenuAction::SetScale, 1}},   {40006, {MenuAction::SetScale, 6}},
      {40010, {MenuAction::Exit, 0}},       {40011, {MenuAction::ToggleTopmost, 0}},
      {40012, {MenuAction::CopyPicture, 0}}, {40013, {MenuAction::SavePicture, 0}},
      {40000, {}}, {40007, {}}, {40009, {}}, {40014, {}}, {0, {}}, {-40001, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(menuChoice(c.command), c.expected) << c.command;
  for (int scale = kMinScale; scale <= kMaxScale; ++scale) {
    EXPECT_EQ(menuChoice(commandForScale(scale)), (MenuChoice{MenuAction::SetScale, scale}));
  }
}

TEST(UiLanguage, JapaneseOnlyWhenTheUserAsksForItFirst) {
  for (const unsigned japanese : {0x0411u, 0x0011u}) EXPECT_EQ(uiLanguageFromLangId(japanese), UiLanguage::Japanese);
  for (const unsigned other : {0x0409u, 0x0809u, 0x0804u, 0u}) EXPECT_EQ(uiLanguageFromLangId(other), UiLanguage::English);
  using Tags = std::vector<std::string>;
  EXPECT_EQ(uiLanguageFromPreferences(Tags{"ja-JP", "en-US"}), UiLanguage::Japanese);
  EXPECT_EQ(uiLanguageFromPreferences(Tags{"de-DE", "ja_JP.UTF-8"}), UiLanguage::Japanese);  // no German texts
  EXPECT_EQ(uiLanguageFromPreferences(Tags{"en-GB", "ja-JP"}), UiLanguage::English);
  EXPECT_EQ(uiLanguageFromPreferences(Tags{"jam", "fr"}), UiLanguage::English);  // the language part only
  EXPECT_EQ(uiLanguageFromPreferences(Tags{}), UiLanguage::English);
}

}  // namespace
}  // namespace pelmora::host
