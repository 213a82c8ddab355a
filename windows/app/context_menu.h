#pragma once
// The right-click menu: scale, always on top, exit.
#include <windows.h>

#include "windows/app/app_state.h"

namespace pelmora::winapp {

// Shows the menu at the point WM_CONTEXTMENU gives (or at the picture's
// centre when opened from the keyboard) and sends the chosen command to the
// window as WM_COMMAND.
void showContextMenu(HWND window, const AppState& state, LPARAM lParam);

}  // namespace pelmora::winapp
