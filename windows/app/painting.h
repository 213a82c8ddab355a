#pragma once
// Painting the current frame, scaled by repeating pixels.
#include <windows.h>

#include "windows/app/app_state.h"

namespace pelmora::winapp {

// Draws the frame last taken (AppState::painted), so the worker is never
// kept waiting while GDI works. User interface thread only.
void paintFrame(HDC dc, AppState& state);

}  // namespace pelmora::winapp
