#pragma once
// The LCD window's title: the program and its version, then the serial of
// the device in use.
#include <string>
#include <string_view>

namespace pelmora::host {

inline constexpr std::u16string_view kTitleBase = u"Pelmora Ver 2026-10-17";
inline constexpr std::u16string_view kSerialLabel = u" Serial:";

// " Serial:" and the serial follow only when the serial is not empty; a
// short notice (where a picture went) follows after a space.
std::u16string windowTitle(std::u16string_view serial, std::u16string_view notice = {});

}  // namespace pelmora::host
