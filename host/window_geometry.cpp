#include "host/window_geometry.h"

#include <algorithm>

#include "core/render/lcd_canvas.h"

namespace pelmora::host {

bool isValidScale(int scale) { return scale >= kMinScale && scale <= kMaxScale; }

Size lcdAreaSize(int scale) { return {kCanvasWidth * scale, kCanvasHeight * scale}; }

Point keepInWorkArea(Point topLeft, const Rect& workArea) {
  const int left = workArea.x;
  const int top = workArea.y;
  const int right = workArea.x + workArea.width;
  const int bottom = workArea.y + workArea.height;
  return {std::min(std::max(topLeft.x, left), std::max(left, right - kKeepVisibleWidth)),
          std::min(std::max(topLeft.y, top), std::max(top, bottom - kKeepVisibleHeight))};
}

int firstScale(Size frame, const Rect& workArea) {
  constexpr int kShareNumerator = 2;
  constexpr int kShareDenominator = 3;
  int best = kMinScale;
  for (int scale = kMinScale + 1; scale <= kLargestFirstScale; ++scale) {
    const Size lcd = lcdAreaSize(scale);
    if ((lcd.width + frame.width) * kShareDenominator <= workArea.width * kShareNumerator &&
        (lcd.height + frame.height) * kShareDenominator <= workArea.height * kShareNumerator) {
      best = scale;
    }
  }
  return best;
}

Point keyboardMenuPoint(int scale) { return {kHalfWidth * scale, kHalfHeight * scale}; }

}  // namespace pelmora::host
