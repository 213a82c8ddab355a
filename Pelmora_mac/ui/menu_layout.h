#pragma once
// What the menus hold: the main menu bar and each LCD window's context menu,
// with their titles, key equivalents, actions and targets. The application
// turns these into platform menus item by item.
#include <string_view>
#include <vector>

#include "host/ui_language.h"

namespace pelmora::mac {

enum class MenuAction {
  None,  // a separator or a submenu's own item
  About,
  Hide,
  Terminate,
  NewWindow,
  PerformClose,
  ChangeScale,
  ToggleTopmost,
  PerformMiniaturize,
  ArrangeInFront,
  CopyPicture,
  SavePicture,
};

// Who receives an item's action: the responder chain (the key window and its
// controller, then the application's delegate), the delegate itself, or the
// window the menu belongs to.
enum class MenuTarget { FirstResponder, Delegate, Window };

struct MenuItemSpec {
  std::string_view title;  // UTF-8
  MenuAction action = MenuAction::None;
  std::string_view key;  // key equivalent with the command key; empty: none
  long tag = 0;
  MenuTarget target = MenuTarget::FirstResponder;
  bool separator = false;
  std::vector<MenuItemSpec> submenu;  // non-empty: this item opens a submenu
};

struct MenuSpec {
  std::string_view title;
  std::vector<MenuItemSpec> items;
  bool windowsMenu = false;  // becomes the application's Windows menu
};

using host::UiLanguage;

// The menu bar: application, File, Edit, View, Window ("ファイル", "編集",
// "表示", "ウィンドウ" in Japanese).
std::vector<MenuSpec> mainMenu(UiLanguage language);
// The scale submenu and "Always on Top"; only the menu bar's copy has the
// key equivalents "1" ... "6".
MenuSpec viewMenu(bool withKeys, UiLanguage language);
// An LCD window's context menu: the view menu without a title or keys, copy
// and save, then "Close" aimed at the window.
MenuSpec contextMenu(UiLanguage language);

}  // namespace pelmora::mac
