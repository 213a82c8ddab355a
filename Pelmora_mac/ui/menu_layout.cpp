#include "Pelmora_mac/ui/menu_layout.h"

#include <iterator>

#include "Pelmora_mac/ui/window_geometry.h"

namespace pelmora::mac {
namespace {

constexpr std::string_view kScaleTitles[] = {"1x", "2x", "3x", "4x", "5x", "6x"};
constexpr std::string_view kScaleKeys[] = {"1", "2", "3", "4", "5", "6"};
static_assert(std::size(kScaleTitles) == kMaxScale - kMinScale + 1);

// Every title of the menus in one language, UTF-8.
struct MenuWords {
  std::string_view about, hide, quit;
  std::string_view file, newWindow, close;
  std::string_view view, scale, topmost;
  std::string_view window, minimize, bringAllToFront;
  std::string_view edit, copy, savePicture;
};

constexpr MenuWords kEnglishWords{
    "About Pelmora", "Hide Pelmora", "Quit Pelmora",
    "File",          "New Window",   "Close",
    "View",          "Scale",        "Always on Top",
    "Window",        "Minimize",     "Bring All to Front",
    "Edit",          "Copy",         "Save Picture"};
constexpr MenuWords kJapaneseWords{
    "Pelmoraについて", "Pelmoraを隠す",  "Pelmoraを終了",
    "ファイル",        "新規ウィンドウ", "閉じる",
    "表示",            "拡大率",         "常に手前に表示",
    "ウィンドウ",      "最小化",         "すべてを手前に移動",
    "編集",            "コピー",         "画像を保存"};

const MenuWords& words(UiLanguage language) {
  return language == UiLanguage::Japanese ? kJapaneseWords : kEnglishWords;
}

MenuItemSpec item(std::string_view title, MenuAction action, std::string_view key = {},
                  MenuTarget target = MenuTarget::FirstResponder) {
  MenuItemSpec spec;
  spec.title = title;
  spec.action = action;
  spec.key = key;
  spec.target = target;
  return spec;
}

MenuItemSpec separator() {
  MenuItemSpec spec;
  spec.separator = true;
  return spec;
}

MenuItemSpec scaleSubmenu(bool withKeys, std::string_view title) {
  MenuItemSpec spec = item(title, MenuAction::None);
  for (int scale = kMinScale; scale <= kMaxScale; ++scale) {
    const auto index = static_cast<std::size_t>(scale - kMinScale);
    MenuItemSpec choice = item(kScaleTitles[index], MenuAction::ChangeScale,
                               withKeys ? kScaleKeys[index] : std::string_view{});
    choice.tag = scale;
    spec.submenu.push_back(choice);
  }
  return spec;
}

}  // namespace

MenuSpec viewMenu(bool withKeys, UiLanguage language) {
  const MenuWords& w = words(language);
  return {w.view, {scaleSubmenu(withKeys, w.scale), item(w.topmost, MenuAction::ToggleTopmost)}};
}

MenuSpec contextMenu(UiLanguage language) {
  MenuSpec menu = viewMenu(false, language);
  menu.title = {};
  const MenuWords& w = words(language);
  menu.items.push_back(item(w.copy, MenuAction::CopyPicture));
  menu.items.push_back(item(w.savePicture, MenuAction::SavePicture));
  menu.items.push_back(item(w.close, MenuAction::PerformClose, {}, MenuTarget::Window));
  return menu;
}

std::vector<MenuSpec> mainMenu(UiLanguage language) {
  const MenuWords& w = words(language);
  MenuSpec application{{},
                       {item(w.about, MenuAction::About), separator(), item(w.hide, MenuAction::Hide, "h"),
                        separator(), item(w.quit, MenuAction::Terminate, "q")}};
  MenuSpec file{w.file,
                {item(w.newWindow, MenuAction::NewWindow, "n", MenuTarget::Delegate),
                 item(w.close, MenuAction::PerformClose, "w"), separator(),
                 item(w.savePicture, MenuAction::SavePicture, "s")}};
  MenuSpec edit{w.edit, {item(w.copy, MenuAction::CopyPicture, "c")}};
  MenuSpec window{w.window,
                  {item(w.minimize, MenuAction::PerformMiniaturize, "m"),
                   item(w.bringAllToFront, MenuAction::ArrangeInFront)},
                  true};
  return {application, file, edit, viewMenu(true, language), window};
}

}  // namespace pelmora::mac
