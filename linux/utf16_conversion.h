#pragma once
// The core speaks UTF-16 for paths and serials; Linux hands out UTF-8.
#include <string>
#include <string_view>

namespace pelmora {

// Ill-formed sequences become U+FFFD, so a hostile serial never aborts a scan.
std::u16string utf8ToUtf16(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace pelmora
