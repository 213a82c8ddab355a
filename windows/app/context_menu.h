#pragma once
// The right-click menu: scale, always on top, copy and save the picture, exit.
#include <windows.h>

#include "host/ui_language.h"
#include "windows/app/app_state.h"

namespace pelmora::winapp {

// The language the menu and the title's notices speak.
host::UiLanguage userLanguage();

// Shows the menu at the point WM_CONTEXTMENU gives (or at the picture's
// centre when opened from the keyboard) and sends the chosen command to the
// window as WM_COMMAND.
void showContextMenu(HWND window, const AppState& state, LPARAM lParam);

}  // namespace pelmora::winapp
