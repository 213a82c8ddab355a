#pragma once
// Sizes and places of the LCD window and its chrome, in points. Window
// frames use the screen's convention (origin at the bottom left, y growing
// upwards); the chrome's own layout is flipped (y growing downwards).
#include <optional>

namespace pelmora::mac {

inline constexpr int kMinScale = 1;
inline constexpr int kMaxScale = 6;
inline constexpr double kLcdWidth = 320;
inline constexpr double kLcdHeight = 170;
inline constexpr double kTitleBarHeight = 28;
// Successive windows step this far right and down, starting over after
// kCascadeSteps windows.
inline constexpr double kCascadeStep = 24;
inline constexpr unsigned long kCascadeSteps = 8;
inline constexpr int kStandardButtonCount = 3;  // close, miniaturise, zoom

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  Point origin;
  Size size;
  bool operator==(const Rect&) const = default;
};

// The content (title bar and LCD) at a scale from 1 to 6.
Size contentSizeForScale(int scale);

// The scale a window opens at: the one asked for on the command line, else
// the largest up to 2 whose window takes at most two thirds of the screen's
// visible frame (without the menu bar and the Dock).
int firstScale(int asked, Size visibleFrame);

struct ScaleChange {
  int scale = kMinScale;
  Size contentSize;
  // Where the window's top-left corner goes once it has its new size: where
  // it was before.
  Point topLeft;
};
// A scale picked by a menu item's tag; other tags change nothing.
std::optional<ScaleChange> planScaleChange(long tag, const Rect& windowFrame);

// How far a new window moves from the centred position when the application
// already reports `windowCount` windows; dy is negative (downwards).
Point cascadeOffset(unsigned long windowCount);

struct ChromeLayout {
  Rect bar;
  Rect titleLabel;  // within the bar
  Rect lcd;
};
ChromeLayout layoutChrome(Size bounds);

// A standard window button's origin in the title bar: index 0 close,
// 1 miniaturise, 2 zoom; centred vertically on whole points.
Point standardButtonOrigin(int index, double buttonHeight);

}  // namespace pelmora::mac
