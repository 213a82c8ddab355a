#include "windows/app/menu_model.h"

#include "windows/app/window_messages.h"

namespace pelmora::winapp {

static_assert(kScaleTexts.size() == host::kMaxScale - host::kMinScale + 1, "one item per scale");

MenuModel menuModel(int scale, bool topmost) {
  return {host::isValidScale(scale) ? host::commandForScale(scale) : 0, topmost};
}

MenuAnchor menuAnchor(std::intptr_t lParam, int scale) {
  const host::Point point = pointFromLParam(lParam);
  if (point.x == -1 && point.y == -1) return {host::keyboardMenuPoint(scale), true};
  return {point, false};
}

}  // namespace pelmora::winapp
