#include "core/transport/error_code_rules.h"

namespace pelmora {
namespace {

constexpr const char* kBusy = "Device Busy";
constexpr const char* kDenied = "Access Denied";
constexpr const char* kOpenFailed = "Open Failed";

// errno values; fixed by the Linux ABI, spelled out so that the table builds
// on every system.
constexpr std::uint32_t kEperm = 1;
constexpr std::uint32_t kEnoent = 2;
constexpr std::uint32_t kEio = 5;
constexpr std::uint32_t kEnxio = 6;
constexpr std::uint32_t kEagain = 11;
constexpr std::uint32_t kEacces = 13;
constexpr std::uint32_t kEbusy = 16;
constexpr std::uint32_t kEnodev = 19;
constexpr std::uint32_t kEshutdown = 108;
constexpr std::uint32_t kEalready = 114;  // what our transport reports for a held open

}  // namespace

bool isDeviceGoneCodeOn(HostSystem system, std::uint32_t code) {
  switch (system) {
    case HostSystem::linuxOs:
      // hidraw answers a read on an unplugged device with EIO; the ioctl
      // answers ENODEV; the USB layer below may pass on ESHUTDOWN. A reopen
      // finds the node removed (ENOENT).
      return code == kEnodev || code == kEio || code == kEnxio || code == kEshutdown || code == kEnoent;
    case HostSystem::windowsOs:
      return code == kWindowsDeviceNotConnected || code == kWindowsInvalidHandle;
    case HostSystem::macOs:
      // kIOReturnNoDevice comes from the removal callback, kIOReturnBadArgument
      // from a malformed input report: neither is worth an in-place reconnect.
      return code == kIoReturnNoDevice || code == kIoReturnBadArgument;
  }
  return false;
}

bool isHeldByOwnTransferCodeOn(HostSystem system, std::uint32_t code) {
  return system == HostSystem::linuxOs && code == kEalready;
}

const char* openFailureTextOn(HostSystem system, std::uint32_t code) {
  switch (system) {
    case HostSystem::linuxOs:
      if (code == kEagain || code == kEbusy || code == kEalready) return kBusy;
      if (code == kEacces || code == kEperm) return kDenied;
      break;
    case HostSystem::windowsOs:
      if (code == kWindowsSharingViolation) return kBusy;  // another program holds the device
      if (code == kWindowsAccessDenied) return kDenied;
      break;
    case HostSystem::macOs:
      if (code == kIoReturnExclusiveAccess) return kBusy;
      if (code == kIoReturnNotPrivileged || code == kIoReturnNotPermitted) return kDenied;
      break;
  }
  return kOpenFailed;
}

}  // namespace pelmora
