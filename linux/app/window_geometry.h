#pragma once
// Scale and placement arithmetic of the LCD window, kept apart from the
// toolkit so that it can be checked on its own.
#include <optional>

#include "host/window_geometry.h"

namespace pelmora::app {

// The arithmetic the Windows program shares; the Linux program adds its own
// rule for keeping the whole window on the screen.
using host::isValidScale;
using host::kMaxScale;
using host::kMinScale;
using host::keyboardMenuPoint;
using host::lcdAreaSize;
using host::Point;
using host::Rect;
using host::Size;

// A scale picked from a menu: only 1..6 are accepted.
std::optional<int> scaleFromChoice(int choice);

// Moves a window of `window` size whose top-left corner is `topLeft` as
// little as possible so that it lies inside the work area. Where it is
// wider or taller than the work area, its left or top edge is put on the
// work area's, so the title bar and the picture's top-left stay reachable.
Point fitInWorkArea(Point topLeft, Size window, const Rect& workArea);

// The largest scale whose window (the LCD area plus `frame`, the title bar
// and borders around it) fits the work area; 1 when not even that fits.
int largestFittingScale(Size frame, const Rect& workArea);


}  // namespace pelmora::app
