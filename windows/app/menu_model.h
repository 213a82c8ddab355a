#pragma once
// The context menu as the window shows it, built anew each time it opens so
// that its marks always match the window: which scale carries the radio
// mark, whether "always on top" is checked, and where the menu appears.
#include <array>
#include <cstdint>

#include "host/menu_commands.h"
#include "host/ui_language.h"
#include "host/window_geometry.h"

namespace pelmora::winapp {

// The words of the menu, and of the notices the title shows after a copy
// or a save, in one language; UTF-16, as the wide Win32 calls take them,
// with "&" before an access key and a tab before a shortcut.
struct MenuTexts {
  const char16_t* scaleSubmenu;
  const char16_t* topmost;
  const char16_t* copyPicture;
  const char16_t* savePicture;
  const char16_t* exit;
  const char16_t* copiedNotice;
  const char16_t* savedNotice;     // the path follows
  const char16_t* notSavedNotice;  // the reason follows
};
const MenuTexts& menuTexts(host::UiLanguage language);
inline constexpr std::array<const char16_t*, 6> kScaleTexts = {u"1x", u"2x", u"3x", u"4x", u"5x", u"6x"};

struct MenuModel {
  int radioCommand = 0;  // the scale item with the radio mark; 0: none
  bool topmostChecked = false;
  const MenuTexts* texts = nullptr;  // never null from menuModel
};
MenuModel menuModel(int scale, bool topmost, host::UiLanguage language);

// Where the menu opens. `fromKeyboard`: the point is in client coordinates
// and still has to be converted to the screen.
struct MenuAnchor {
  host::Point point;
  bool fromKeyboard = false;
  bool operator==(const MenuAnchor&) const = default;
};
// x and y as WM_CONTEXTMENU gives them in lParam (screen coordinates, or
// both -1 when the menu key or Shift+F10 opened it).
MenuAnchor menuAnchor(std::intptr_t lParam, int scale);

}  // namespace pelmora::winapp
