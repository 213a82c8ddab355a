#pragma once
// Which language the menus speak. The program has English texts and the
// product's own Japanese ones; every other language gets English.
#include <span>
#include <string>

namespace pelmora::host {

enum class UiLanguage { English, Japanese };

// From a Windows language identifier (GetUserDefaultUILanguage): only its
// primary language counts, so every Japanese region gets Japanese.
UiLanguage uiLanguageFromLangId(unsigned langId);

// From the user's languages, most preferred first, as language tags
// ("ja-JP", "en_GB", "ja_JP.UTF-8"): the first one the program has texts
// for, as the system picks among an application's localisations.
UiLanguage uiLanguageFromPreferences(std::span<const std::string> tags);

}  // namespace pelmora::host
