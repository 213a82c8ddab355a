// The macOS defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <chrono>
#include <cstdlib>

#include "Pelmora_mac/hid_transport.h"
#include "Pelmora_mac/io_return_codes.h"

namespace pelmora {

std::unique_ptr<IHidTransport> createPlatformTransport() { return std::make_unique<HidTransport>(); }

std::uint64_t platformNowMs() {
  constexpr std::uint64_t kNanosecondsPerMillisecond = 1000000;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(ns.count()) / kNanosecondsPerMillisecond;
}

// arc4random_buf cannot fail.
bool platformRandom32(std::uint32_t& out) {
  arc4random_buf(&out, sizeof out);
  return true;
}

// kIOReturnNoDevice comes from the removal callback; kIOReturnBadArgument
// from a malformed input report. Neither is worth an in-place reconnect.
bool isDeviceGoneCode(std::uint32_t code) { return code == kNoDeviceCode || code == kBadArgumentCode; }

// A transfer of a closed device ends with it; nothing holds a later open.
bool isHeldByOwnTransferCode(std::uint32_t /*code*/) { return false; }

const char* openFailureText(std::uint32_t code) {
  switch (code) {
    case kExclusiveAccessCode: return "Device Busy";
    case kNotPrivilegedCode:
    case kNotPermittedCode: return "Access Denied";
    default: return "Open Failed";
  }
}

}  // namespace pelmora
