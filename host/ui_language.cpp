#include "host/ui_language.h"

#include <optional>
#include <string_view>

namespace pelmora::host {
namespace {

constexpr unsigned kPrimaryLanguageMask = 0x3FF;
constexpr unsigned kLangJapanese = 0x11;

// The language part of a tag: what comes before "-", "_" or ".".
std::string_view languagePart(std::string_view tag) { return tag.substr(0, tag.find_first_of("-_.@")); }

std::optional<UiLanguage> knownLanguage(std::string_view tag) {
  const std::string_view language = languagePart(tag);
  if (language == "ja") return UiLanguage::Japanese;
  if (language == "en") return UiLanguage::English;
  return std::nullopt;
}

}  // namespace

UiLanguage uiLanguageFromLangId(unsigned langId) {
  return (langId & kPrimaryLanguageMask) == kLangJapanese ? UiLanguage::Japanese : UiLanguage::English;
}

UiLanguage uiLanguageFromPreferences(std::span<const std::string> tags) {
  for (const std::string& tag : tags) {
    if (const auto language = knownLanguage(tag)) return *language;
  }
  return UiLanguage::English;
}

}  // namespace pelmora::host
