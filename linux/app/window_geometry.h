#pragma once
// Scale and placement arithmetic of the LCD window, kept apart from the
// toolkit so that it can be checked on its own.
#include <optional>

namespace pelmora::app {

inline constexpr int kMinScale = 1;
inline constexpr int kMaxScale = 6;
// How much of a window must stay inside the work area after a resize.
inline constexpr int kKeepVisibleWidth = 80;
inline constexpr int kKeepVisibleHeight = 40;

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

// Moves a requested top-left corner into the work area so that at least
// kKeepVisibleWidth x kKeepVisibleHeight of the window stays reachable.
Point keepInWorkArea(Point topLeft, const Rect& workArea);


// Where a menu opened from the keyboard appears: the centre of the LCD area.
Point keyboardMenuPoint(int scale);

}  // namespace pelmora::app
