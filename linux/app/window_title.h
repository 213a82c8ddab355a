#pragma once
// The window's title: the program and version, and the serial of the
// device in use.
#include <string>
#include <string_view>

namespace pelmora::app {

inline constexpr const char* kProgramVersion = "2026-10-17";
inline constexpr const char* kTitleBase = "Pelmora Ver 2026-10-17";

// UTF-8; " Serial:" and the serial follow only when the serial is not empty.
std::string windowTitle(std::u16string_view serial);
// The title while a short notice (where a picture was saved) is shown.
std::string titleWithNotice(std::u16string_view serial, std::string_view notice);

// UTF-16 to UTF-8; an unpaired surrogate (a device may send anything)
// becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

}  // namespace pelmora::app
