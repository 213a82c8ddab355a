#pragma once
// Scale and placement arithmetic of the LCD window.
namespace pelmora::host {

inline constexpr int kMinScale = 1;
inline constexpr int kMaxScale = 6;
// How much of a window must stay inside the work area after a resize, so
// that it can still be grabbed and moved back.
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
// The picture's size at a scale, in the pixels the window is measured in.
Size lcdAreaSize(int scale);

// Moves a requested top-left corner so that at least kKeepVisibleWidth x
// kKeepVisibleHeight of the window lies in the work area; a work area
// smaller than that pins the corner to the work area's top-left.
Point keepInWorkArea(Point topLeft, const Rect& workArea);

// The scale a window opens at when none was asked for: the largest up to
// kLargestFirstScale whose window (the LCD area plus `frame`, the title bar
// and borders around it) takes at most two thirds of the work area's width
// and height, so the picture is easy to read yet leaves room beside it.
inline constexpr int kLargestFirstScale = 2;
int firstScale(Size frame, const Rect& workArea);

// Where a menu opened from the keyboard appears, relative to the picture:
// its centre.
Point keyboardMenuPoint(int scale);

}  // namespace pelmora::host
