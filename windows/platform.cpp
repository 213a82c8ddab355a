// The Windows defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <windows.h>
#include <bcrypt.h>

#include "core/transport/error_code_rules.h"
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

static_assert(kWindowsDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED && kWindowsInvalidHandle == ERROR_INVALID_HANDLE &&
              kWindowsSharingViolation == ERROR_SHARING_VIOLATION && kWindowsAccessDenied == ERROR_ACCESS_DENIED);

}  // namespace pelmora
