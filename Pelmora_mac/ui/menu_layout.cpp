#include "Pelmora_mac/ui/menu_layout.h"

#include <iterator>

#include "Pelmora_mac/ui/window_geometry.h"

namespace pelmora::mac {
namespace {

constexpr std::string_view kScaleTitles[] = {"1x", "2x", "3x", "4x", "5x", "6x"};
constexpr std::string_view kScaleKeys[] = {"1", "2", "3", "4", "5", "6"};
static_assert(std::size(kScaleTitles) == kMaxScale - kMinScale + 1);

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

MenuItemSpec scaleSubmenu(bool withKeys) {
  MenuItemSpec spec = item("拡大率", MenuAction::None);
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

MenuSpec viewMenu(bool withKeys) {
  return {"表示", {scaleSubmenu(withKeys), item("常に手前に表示", MenuAction::ToggleTopmost)}};
}

MenuSpec contextMenu() {
  MenuSpec menu = viewMenu(false);
  menu.title = {};
  menu.items.push_back(item("閉じる", MenuAction::PerformClose, {}, MenuTarget::Window));
  return menu;
}

std::vector<MenuSpec> mainMenu() {
  MenuSpec application{{},
                       {item("Pelmoraについて", MenuAction::About), separator(),
                        item("Pelmoraを隠す", MenuAction::Hide, "h"), separator(),
                        item("Pelmoraを終了", MenuAction::Terminate, "q")}};
  MenuSpec file{"ファイル",
                {item("新規ウィンドウ", MenuAction::NewWindow, "n", MenuTarget::Delegate),
                 item("閉じる", MenuAction::PerformClose, "w")}};
  MenuSpec window{"ウィンドウ",
                  {item("最小化", MenuAction::PerformMiniaturize, "m"),
                   item("すべてを手前に移動", MenuAction::ArrangeInFront)},
                  true};
  return {application, file, viewMenu(true), window};
}

}  // namespace pelmora::mac
