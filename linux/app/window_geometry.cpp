#include "linux/app/window_geometry.h"

#include <algorithm>

namespace pelmora::app {

std::optional<int> scaleFromChoice(int choice) {
  if (!isValidScale(choice)) return std::nullopt;
  return choice;
}

namespace {

// The start of [start, start + length) moved into [lo, lo + room), or lo
// when the span is longer than the room.
int fitSpan(int start, int length, int lo, int room) {
  if (length >= room) return lo;
  return std::clamp(start, lo, lo + room - length);
}

}  // namespace

Point fitInWorkArea(Point topLeft, Size window, const Rect& workArea) {
  return {fitSpan(topLeft.x, window.width, workArea.x, workArea.width),
          fitSpan(topLeft.y, window.height, workArea.y, workArea.height)};
}

int largestFittingScale(Size frame, const Rect& workArea) {
  int best = kMinScale;
  for (int scale = kMinScale + 1; scale <= kMaxScale; ++scale) {
    const Size lcd = lcdAreaSize(scale);
    if (lcd.width + frame.width <= workArea.width && lcd.height + frame.height <= workArea.height) best = scale;
  }
  return best;
}

}  // namespace pelmora::app
