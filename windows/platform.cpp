// The Windows defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <windows.h>

namespace pelmora {

DeviceList enumerateDevices() { return {}; }

std::unique_ptr<IHidTransport> createPlatformTransport() { return nullptr; }

std::uint64_t platformNowMs() { return GetTickCount64(); }

bool platformRandom32(std::uint32_t&) { return false; }

bool isDeviceGoneCode(std::uint32_t code) {
  return code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_INVALID_HANDLE;
}

const char* openFailureText(std::uint32_t code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
      return "Device Busy";
    case ERROR_ACCESS_DENIED:
      return "Access Denied";
    default:
      return "Open Failed";
  }
}

}  // namespace pelmora
