#include "windows/app/menu_model.h"

#include "windows/app/window_messages.h"

namespace pelmora::winapp {

static_assert(kScaleTexts.size() == host::kMaxScale - host::kMinScale + 1, "one item per scale");

constexpr MenuTexts kEnglishTexts{u"&Scale", u"Always on Top", u"E&xit"};
constexpr MenuTexts kJapaneseTexts{u"拡大率(&Z)", u"常に手前に表示", u"終了(&X)"};

MenuModel menuModel(int scale, bool topmost, host::UiLanguage language) {
  return {host::isValidScale(scale) ? host::commandForScale(scale) : 0, topmost,
          language == host::UiLanguage::Japanese ? &kJapaneseTexts : &kEnglishTexts};
}

MenuAnchor menuAnchor(std::intptr_t lParam, int scale) {
  const host::Point point = pointFromLParam(lParam);
  if (point.x == -1 && point.y == -1) return {host::keyboardMenuPoint(scale), true};
  return {point, false};
}

}  // namespace pelmora::winapp
