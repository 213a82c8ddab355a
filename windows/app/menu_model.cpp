#include "windows/app/menu_model.h"

#include "windows/app/window_messages.h"

namespace pelmora::winapp {

static_assert(kScaleTexts.size() == host::kMaxScale - host::kMinScale + 1, "one item per scale");

constexpr MenuTexts kEnglishTexts{u"&Scale",
                                  u"Always on Top",
                                  u"&Copy Picture\tCtrl+C",
                                  u"Sa&ve Picture\tCtrl+S",
                                  u"E&xit",
                                  u"Copied to the clipboard",
                                  u"Saved: ",
                                  u"Not saved: "};
constexpr MenuTexts kJapaneseTexts{u"拡大率(&Z)",
                                   u"常に手前に表示",
                                   u"画像をコピー(&C)\tCtrl+C",
                                   u"画像を保存(&V)\tCtrl+S",
                                   u"終了(&X)",
                                   u"クリップボードにコピーしました",
                                   u"保存先: ",
                                   u"保存できません: "};

const MenuTexts& menuTexts(host::UiLanguage language) {
  return language == host::UiLanguage::Japanese ? kJapaneseTexts : kEnglishTexts;
}

MenuModel menuModel(int scale, bool topmost, host::UiLanguage language) {
  return {host::isValidScale(scale) ? host::commandForScale(scale) : 0, topmost, &menuTexts(language)};
}

MenuAnchor menuAnchor(std::intptr_t lParam, int scale) {
  const host::Point point = pointFromLParam(lParam);
  if (point.x == -1 && point.y == -1) return {host::keyboardMenuPoint(scale), true};
  return {point, false};
}

}  // namespace pelmora::winapp
