#pragma once
// Between the platform's strings and the UTF-8 and UTF-16 text of the
// portable code, and the version text every window and the About panel show.
#import <Foundation/Foundation.h>

#include <string>
#include <string_view>
#include <vector>

#include "Pelmora_mac/ui/window_title.h"
#include "host/ui_language.h"

NS_ASSUME_NONNULL_BEGIN

inline NSString* LCDStringFromUtf8(std::string_view text) {
  NSString* string = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
  return string != nil ? string : @"";
}

inline NSString* LCDStringFromUtf16(std::u16string_view text) {
  static_assert(sizeof(unichar) == sizeof(char16_t));
  return [NSString stringWithCharacters:reinterpret_cast<const unichar*>(text.data()) length:text.size()];
}

inline std::u16string LCDUtf16FromString(NSString* string) {
  std::u16string text(string.length, u'\0');
  [string getCharacters:reinterpret_cast<unichar*>(text.data()) range:NSMakeRange(0, text.size())];
  return text;
}

// The main bundle's "PelmoraVersion" when it is a non-empty string.
inline NSString* LCDApplicationVersion(void) {
  id value = [NSBundle.mainBundle objectForInfoDictionaryKey:@(pelmora::mac::kVersionInfoKey)];
  if (![value isKindOfClass:NSString.class]) return LCDStringFromUtf16(pelmora::mac::chooseVersion(std::nullopt));
  const std::u16string entry = LCDUtf16FromString(static_cast<NSString*>(value));
  return LCDStringFromUtf16(pelmora::mac::chooseVersion(entry));
}

// The menus' language, chosen from the user's preferred languages as the
// system chooses among an application's localisations.
inline pelmora::host::UiLanguage LCDUserLanguage(void) {
  std::vector<std::string> tags;
  for (NSString* tag in NSLocale.preferredLanguages) {
    const char* utf8 = tag.UTF8String;
    if (utf8 != nullptr) tags.emplace_back(utf8);
  }
  return pelmora::host::uiLanguageFromPreferences(tags);
}

NS_ASSUME_NONNULL_END
