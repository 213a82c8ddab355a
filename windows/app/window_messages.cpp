#include "windows/app/window_messages.h"

#include "host/menu_commands.h"

namespace pelmora::winapp {

int firstShowCommand(int showCommand) {
  return showCommand == static_cast<int>(kSwMaximize) ? static_cast<int>(kSwShowNormal) : showCommand;
}

host::Point pointFromLParam(std::intptr_t lParam) {
  const auto bits = static_cast<std::uintptr_t>(lParam);
  return {static_cast<std::int16_t>(bits & 0xFFFF), static_cast<std::int16_t>((bits >> 16) & 0xFFFF)};
}

std::intptr_t lParamFromPoint(host::Point point) {
  const auto low = static_cast<std::uint16_t>(point.x);
  const auto high = static_cast<std::uint16_t>(point.y);
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(high) << 16) | low);
}

int pictureKeyCommand(std::uintptr_t virtualKey, bool control, bool otherModifier) {
  if (!control || otherModifier) return 0;
  if (virtualKey == kVkC) return host::kCommandCopyPicture;
  if (virtualKey == kVkS) return host::kCommandSavePicture;
  return 0;
}

bool isSwallowedSysCommand(std::uintptr_t wParam) {
  const std::uintptr_t command = wParam & 0xFFF0;
  return command == kScMaximize || command == kScSize;
}

bool isResumeBroadcast(std::uintptr_t wParam) {
  return wParam == kPbtApmResumeAutomatic || wParam == kPbtApmResumeSuspend;
}

host::Size windowSizeAt(int scale, host::Size frameAtDpi) {
  const host::Size client = host::lcdAreaSize(scale);
  return {client.width + frameAtDpi.width, client.height + frameAtDpi.height};
}

}  // namespace pelmora::winapp
