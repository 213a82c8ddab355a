#include "Pelmora_mac/ui/window_geometry.h"

#include <algorithm>
#include <cmath>

#include "host/window_geometry.h"

namespace pelmora::mac {
namespace {

constexpr double kTitleLabelLeft = 76;
constexpr double kTitleLabelTop = 6;
constexpr double kTitleLabelHeight = 17;
// The label keeps clear of the buttons on the left and a margin on the right.
constexpr double kTitleLabelInset = 84;
constexpr double kFirstButtonX = 10;
constexpr double kButtonSpacing = 20;

}  // namespace

Size contentSizeForScale(int scale) {
  return {kLcdWidth * scale, kLcdHeight * scale + kTitleBarHeight};
}

int firstScale(int asked, Size visibleFrame) {
  if (asked >= kMinScale && asked <= kMaxScale) return asked;
  const host::Size chrome{0, static_cast<int>(kTitleBarHeight)};
  return host::firstScale(chrome, {0, 0, static_cast<int>(visibleFrame.width), static_cast<int>(visibleFrame.height)});
}

std::optional<ScaleChange> planScaleChange(long tag, const Rect& windowFrame) {
  if (tag < kMinScale || tag > kMaxScale) return std::nullopt;
  const int scale = static_cast<int>(tag);
  const Point topLeft{windowFrame.origin.x, windowFrame.origin.y + windowFrame.size.height};
  return ScaleChange{scale, contentSizeForScale(scale), topLeft};
}

Point cascadeOffset(unsigned long windowCount) {
  const double step = static_cast<double>(windowCount % kCascadeSteps) * kCascadeStep;
  return {step, -step};
}

ChromeLayout layoutChrome(Size bounds) {
  ChromeLayout layout;
  layout.bar = {{0, 0}, {bounds.width, kTitleBarHeight}};
  layout.titleLabel = {{kTitleLabelLeft, kTitleLabelTop},
                       {std::max(bounds.width - kTitleLabelInset, 0.0), kTitleLabelHeight}};
  layout.lcd = {{0, kTitleBarHeight}, {bounds.width, std::max(bounds.height - kTitleBarHeight, 0.0)}};
  return layout;
}

Point standardButtonOrigin(int index, double buttonHeight) {
  return {kFirstButtonX + kButtonSpacing * index, std::trunc((kTitleBarHeight - buttonHeight) / 2)};
}

}  // namespace pelmora::mac
