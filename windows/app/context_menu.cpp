#include "windows/app/context_menu.h"

#include "windows/app/menu_model.h"
#include "windows/app/window_sizing.h"

namespace pelmora::winapp {
namespace {

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// False when the menu could not be filled; the popup is then destroyed by
// the caller, and a submenu not yet attached is destroyed here.
bool fillMenu(HMENU popup, HMENU scales, const MenuModel& model) {
  for (int scale = host::kMinScale; scale <= host::kMaxScale; ++scale) {
    if (!AppendMenuW(scales, MF_STRING, host::commandForScale(scale), wide(kScaleTexts[scale - host::kMinScale]))) {
      DestroyMenu(scales);
      return false;
    }
  }
  if (model.radioCommand != 0) {
    CheckMenuRadioItem(scales, host::kCommandScaleFirst, host::kCommandScaleLast, model.radioCommand, MF_BYCOMMAND);
  }
  if (!AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(scales), wide(model.texts->scaleSubmenu))) {
    DestroyMenu(scales);
    return false;
  }
  return AppendMenuW(popup, MF_STRING | (model.topmostChecked ? MF_CHECKED : MF_UNCHECKED), host::kCommandTopmost,
                     wide(model.texts->topmost)) &&
         AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) &&
         AppendMenuW(popup, MF_STRING, host::kCommandCopyPicture, wide(model.texts->copyPicture)) &&
         AppendMenuW(popup, MF_STRING, host::kCommandSavePicture, wide(model.texts->savePicture)) &&
         AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) &&
         AppendMenuW(popup, MF_STRING, host::kCommandExit, wide(model.texts->exit));
}

}  // namespace

// The language of the Windows user interface, not the regional format.
host::UiLanguage userLanguage() { return host::uiLanguageFromLangId(GetUserDefaultUILanguage()); }

void showContextMenu(HWND window, const AppState& state, LPARAM lParam) {
  const MenuAnchor anchor = menuAnchor(lParam, state.scale);
  POINT point{anchor.point.x, anchor.point.y};
  if (anchor.fromKeyboard) ClientToScreen(window, &point);

  HMENU popup = CreatePopupMenu();
  HMENU scales = CreatePopupMenu();
  if (popup == nullptr || scales == nullptr) {
    if (popup != nullptr) DestroyMenu(popup);
    if (scales != nullptr) DestroyMenu(scales);
    return;
  }
  if (!fillMenu(popup, scales, menuModel(state.scale, isTopmost(window), userLanguage()))) {
    DestroyMenu(popup);
    return;
  }
  const int command = static_cast<int>(
      TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr));
  DestroyMenu(popup);  // with the submenu attached to it
  if (command != 0) SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

}  // namespace pelmora::winapp
