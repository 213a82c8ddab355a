#pragma once
// The program keeps text as UTF-8 and the wide Win32 calls take UTF-16.
#include <string>
#include <string_view>

namespace pelmora::winapp {

std::string utf8FromWide(std::wstring_view text);
std::wstring wideFromUtf8(std::string_view text);

}  // namespace pelmora::winapp
