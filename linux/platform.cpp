// The Linux defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <sys/random.h>

#include <cerrno>
#include <ctime>

#include "linux/hidraw_discovery.h"
#include "linux/hidraw_transport.h"

namespace pelmora {
namespace {

constexpr std::uint64_t kMillisecondsPerSecond = 1000;
constexpr std::uint64_t kNanosecondsPerMillisecond = 1000000;

}  // namespace

DeviceList enumerateDevices() { return enumerateHidraw(kSysClassHidraw, kDevRoot); }

std::unique_ptr<IHidTransport> createPlatformTransport() { return std::make_unique<HidTransport>(); }

std::uint64_t platformNowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * kMillisecondsPerSecond +
         static_cast<std::uint64_t>(now.tv_nsec) / kNanosecondsPerMillisecond;
}

bool platformRandom32(std::uint32_t& out) {
  std::uint32_t value = 0;
  ssize_t got = -1;
  do {
    got = getrandom(&value, sizeof value, 0);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof value)) return false;
  out = value;
  return true;
}

bool isDeviceGoneCode(std::uint32_t code) {
  // hidraw answers a read on an unplugged device with EIO; the ioctl answers
  // ENODEV; the USB layer below may pass on ESHUTDOWN. A reopen finds the
  // node removed (ENOENT).
  switch (code) {
    case ENODEV:
    case EIO:
    case ENXIO:
    case ESHUTDOWN:
    case ENOENT:
      return true;
    default:
      return false;
  }
}

bool isHeldByOwnTransferCode(std::uint32_t code) { return code == kErrorHeldByOwnTransfer; }

const char* openFailureText(std::uint32_t code) {
  switch (code) {
    case EWOULDBLOCK:
    case EBUSY:
    case kErrorHeldByOwnTransfer:
      return "Device Busy";
    case EACCES:
    case EPERM:
      return "Access Denied";
    default:
      return "Open Failed";
  }
}

}  // namespace pelmora
