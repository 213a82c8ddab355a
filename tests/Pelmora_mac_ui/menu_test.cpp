// The menus' contents and the states of their items.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Pelmora_mac/ui/menu_layout.h"
#include "Pelmora_mac/ui/menu_states.h"

namespace pelmora::mac {
namespace {

// One line per item: title, key, tag, target, submenu items indented.
void describe(const std::vector<MenuItemSpec>& items, const std::string& indent, std::vector<std::string>& out) {
  static const char* const kTargets[] = {"responder", "delegate", "window"};
  for (const MenuItemSpec& item : items) {
    if (item.separator) {
      out.push_back(indent + "-");
      continue;
    }
    out.push_back(indent + std::string(item.title) + " [" + std::string(item.key) + "] " +
                  std::to_string(static_cast<int>(item.action)) + "/" + std::to_string(item.tag) + " " +
                  kTargets[static_cast<int>(item.target)]);
    describe(item.submenu, indent + "  ", out);
  }
}

std::vector<std::string> describe(const MenuSpec& menu) {
  // Appended, not built with "literal" + std::string: gcc 12 at -O3 reports a
  // false -Wrestrict on that form.
  std::string head = "<";
  head.append(menu.title).append(menu.windowsMenu ? "> windows" : ">");
  std::vector<std::string> out{head};
  describe(menu.items, "  ", out);
  return out;
}

std::vector<std::string> describe(const std::vector<MenuSpec>& menus) {
  std::vector<std::string> all;
  for (const MenuSpec& menu : menus) {
    for (std::string& line : describe(menu)) all.push_back(std::move(line));
  }
  return all;
}

TEST(MenuLayout, MenuBarHasTheTitlesKeysAndTargets) {
  const std::vector<std::string> all = describe(mainMenu(UiLanguage::Japanese));
  // Actions: 1 about, 2 hide, 3 terminate, 4 new window, 5 close, 6 scale,
  // 7 topmost, 8 miniaturise, 9 bring all to front, 10 copy, 11 save.
  const std::vector<std::string> expected = {
      "<>",
      "  Pelmoraについて [] 1/0 responder",
      "  -",
      "  Pelmoraを隠す [h] 2/0 responder",
      "  -",
      "  Pelmoraを終了 [q] 3/0 responder",
      "<ファイル>",
      "  新規ウィンドウ [n] 4/0 delegate",
      "  閉じる [w] 5/0 responder",
      "  -",
      "  画像を保存 [s] 11/0 responder",
      "<編集>",
      "  コピー [c] 10/0 responder",
      "<表示>",
      "  拡大率 [] 0/0 responder",
      "    1x [1] 6/1 responder",
      "    2x [2] 6/2 responder",
      "    3x [3] 6/3 responder",
      "    4x [4] 6/4 responder",
      "    5x [5] 6/5 responder",
      "    6x [6] 6/6 responder",
      "  常に手前に表示 [] 7/0 responder",
      "<ウィンドウ> windows",
      "  最小化 [m] 8/0 responder",
      "  すべてを手前に移動 [] 9/0 responder",
  };
  EXPECT_EQ(all, expected);
}

TEST(MenuLayout, ContextMenuIsTheViewMenuWithoutKeysThenCloseForTheWindow) {
  const std::vector<std::string> expected = {
      "<>",
      "  拡大率 [] 0/0 responder",
      "    1x [] 6/1 responder",
      "    2x [] 6/2 responder",
      "    3x [] 6/3 responder",
      "    4x [] 6/4 responder",
      "    5x [] 6/5 responder",
      "    6x [] 6/6 responder",
      "  常に手前に表示 [] 7/0 responder",
      "  コピー [] 10/0 responder",
      "  画像を保存 [] 11/0 responder",
      "  閉じる [] 5/0 window",
  };
  EXPECT_EQ(describe(contextMenu(UiLanguage::Japanese)), expected);
}

TEST(MenuLayout, EnglishMenusAreTheJapaneseOnesWithEnglishTitles) {
  const std::pair<std::string, std::string> words[] = {
      {"Pelmoraについて", "About Pelmora"}, {"Pelmoraを隠す", "Hide Pelmora"}, {"Pelmoraを終了", "Quit Pelmora"},
      {"ファイル", "File"}, {"新規ウィンドウ", "New Window"}, {"閉じる", "Close"}, {"表示", "View"},
      {"拡大率", "Scale"}, {"常に手前に表示", "Always on Top"}, {"ウィンドウ", "Window"}, {"最小化", "Minimize"},
      {"すべてを手前に移動", "Bring All to Front"}, {"編集", "Edit"}, {"コピー", "Copy"}, {"画像を保存", "Save Picture"}};
  auto translated = [&words](std::vector<std::string> lines) {
    for (std::string& line : lines) {
      for (const auto& [ja, en] : words) {
        // Whole titles only: "ウィンドウ" is also the end of "新規ウィンドウ".
        const auto at = line.find(ja);
        const bool whole = at != std::string::npos && at > 0 && (line[at - 1] == ' ' || line[at - 1] == '<');
        if (whole) line.replace(at, ja.size(), en);
      }
    }
    return lines;
  };
  EXPECT_EQ(describe(mainMenu(UiLanguage::English)), translated(describe(mainMenu(UiLanguage::Japanese))));
  EXPECT_EQ(describe(contextMenu(UiLanguage::English)), translated(describe(contextMenu(UiLanguage::Japanese))));
}

TEST(MenuStates, ChecksFollowScaleAndTopmost) {
  for (long tag = 1; tag <= 6; ++tag) EXPECT_EQ(itemChecked(MenuAction::ChangeScale, tag, 3, false), tag == 3);
  EXPECT_EQ(itemChecked(MenuAction::ToggleTopmost, 0, 1, true), true);
  EXPECT_EQ(itemChecked(MenuAction::ToggleTopmost, 0, 1, false), false);
  EXPECT_FALSE(itemChecked(MenuAction::PerformClose, 0, 1, true));
}

TEST(MenuStates, WindowEnablesCloseAndMiniaturiseByItsState) {
  struct Case {
    bool visible, miniaturized, close, miniaturize;
  };
  for (const Case c : {Case{true, false, true, true}, Case{false, true, true, false},
                       Case{false, false, false, false}}) {
    EXPECT_EQ(windowItemEnabled(MenuAction::PerformClose, c.visible, c.miniaturized), c.close);
    EXPECT_EQ(windowItemEnabled(MenuAction::PerformMiniaturize, c.visible, c.miniaturized), c.miniaturize);
  }
  EXPECT_FALSE(windowItemEnabled(MenuAction::ArrangeInFront, true, false));
}

TEST(WindowLevel, OnlyARaisedLevelIsRestoredAfterTheDock) {
  // Today's numbers on a Mac, and others: the system may change them.
  for (const WindowLevels levels : {WindowLevels{0, 3}, WindowLevels{-1, 24}}) {
    EXPECT_EQ(levelForTopmost(true, levels), levels.floating);
    EXPECT_EQ(levelForTopmost(false, levels), levels.normal);
    EXPECT_EQ(levelToRestoreAfterMiniaturize(levels.floating, levels), levels.floating);
    EXPECT_FALSE(levelToRestoreAfterMiniaturize(levels.normal, levels));
  }
  EXPECT_EQ(levelToRestoreAfterMiniaturize(0, WindowLevels{-1, 24}), 0);
}

}  // namespace
}  // namespace pelmora::mac
