#pragma once
// Scale and placement arithmetic of the LCD window, kept apart from the
// toolkit so that it can be checked on its own.
#include <optional>

namespace pelmora::app {

inline constexpr int kMinScale = 1;
inline constexpr int kMaxScale = 6;
struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

bool isValidScale(int scale);
// The LCD area in window (logical) pixels; the scale must be valid.
Size lcdAreaSize(int scale);
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

// Where a menu opened from the keyboard appears: the centre of the LCD area.
Point keyboardMenuPoint(int scale);

}  // namespace pelmora::app
