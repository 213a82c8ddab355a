// The macOS defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <chrono>
#include <cstdlib>

#include "core/transport/error_code_rules.h"
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

static_assert(kNoDeviceCode == kIoReturnNoDevice && kBadArgumentCode == kIoReturnBadArgument &&
              kExclusiveAccessCode == kIoReturnExclusiveAccess && kNotPrivilegedCode == kIoReturnNotPrivileged &&
              kNotPermittedCode == kIoReturnNotPermitted);

}  // namespace pelmora
