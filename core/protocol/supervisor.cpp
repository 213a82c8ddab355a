#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"

namespace pelmora {

namespace {

constexpr std::uint32_t kNoDeviceWaitMs = 10000;
constexpr std::uint32_t kDeviceErrorShowMs = 1000;
constexpr std::uint64_t kRotationMs = 10000;
constexpr std::uint64_t kRotationTurnMs = 2000;
constexpr const char* kTextNoDevice = "No Device";
constexpr const char* kTextLastResort = "Connection Error";

using PathSet = std::set<std::u16string>;

}  // namespace

void ConnectionWorker::run() {
  PathSet triedPaths;
  PathSet reportedPaths;
  for (;;) {
    if (wait(0)) return;
    const DeviceList devices = enumerate();
    if (devices.empty()) {
      showStatus(kTextNoDevice, false);
      triedPaths.clear();
      reportedPaths.clear();
      wait(kNoDeviceWaitMs);
      continue;
    }

    // Each device's own error is shown once per cycle, when first seen.
    for (const HidDeviceInfo& device : devices) {
      if (device.error.empty() || !reportedPaths.insert(device.path).second) continue;
      showStatus(device.error, false);
      if (wait(kDeviceErrorShowMs)) return;
    }

    std::vector<std::string> errorTexts;
    const HidDeviceInfo* chosen = nullptr;
    for (const HidDeviceInfo& device : devices) {
      if (!device.error.empty()) {
        errorTexts.push_back(device.error);
      } else if (!triedPaths.contains(device.path)) {
        chosen = &device;
        break;
      }
    }

    if (chosen) {
      // No picture of another device may show through this one's status screens.
      if (chosen->serial != deviceSerial) {
        hasShownFrame = false;
        pixels_->fill(0);
      }
      runSession(*chosen, chosen->serial);
      triedPaths.insert(chosen->path);
      if (wait(0)) return;
      continue;
    }

    if (errorTexts.empty()) errorTexts.push_back(lastError.empty() ? kTextLastResort : lastError);
    const std::uint64_t deadline = now() + kRotationMs;
    for (std::size_t turn = 0;; ++turn) {
      if (now() >= deadline || wait(0)) break;
      showStatus(errorTexts[turn % errorTexts.size()], false);
      const std::uint64_t t = now();
      if (t >= deadline) break;
      wait(static_cast<std::uint32_t>(std::min(deadline - t, kRotationTurnMs)));
    }
    triedPaths.clear();
    reportedPaths.clear();
  }
}

}  // namespace pelmora
