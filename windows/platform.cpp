// The Windows defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <windows.h>
#include <bcrypt.h>

#include "windows/hid_discovery.h"
#include "windows/hid_transport.h"

namespace pelmora {

DeviceList enumerateDevices() { return enumerateHidDevices(systemWin32Api()); }

std::unique_ptr<IHidTransport> createPlatformTransport() { return std::make_unique<HidTransport>(); }

std::uint64_t platformNowMs() { return GetTickCount64(); }

bool platformRandom32(std::uint32_t& out) {
  std::uint32_t value = 0;
  const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) return false;
  out = value;
  return true;
}

bool isDeviceGoneCode(std::uint32_t code) {
  return code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_INVALID_HANDLE;
}

// close waits for a cancelled transfer to end, so no open has to.
bool isHeldByOwnTransferCode(std::uint32_t /*code*/) { return false; }

const char* openFailureText(std::uint32_t code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:  // another program holds the device
      return "Device Busy";
    case ERROR_ACCESS_DENIED:
      return "Access Denied";
    default:
      return "Open Failed";
  }
}

}  // namespace pelmora
