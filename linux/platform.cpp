// The Linux defaults behind the worker's hooks.
#include "core/transport/platform.h"

#include <sys/random.h>

#include <cerrno>
#include <ctime>

#include "core/transport/error_code_rules.h"
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

static_assert(kErrorHeldByOwnTransfer == 114 && ENOENT == 2, "the portable code table spells these out");

}  // namespace pelmora
