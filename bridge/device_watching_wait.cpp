#include "bridge/device_watching_wait.h"

#include <algorithm>
#include <utility>

namespace pelmora {

using Clock = std::chrono::steady_clock;

DeviceWatchingWait::DeviceWatchingWait(std::shared_ptr<SessionBridgeState> state, DeviceScan scan)
    : state_(std::move(state)), scan_(std::move(scan)), lastScan_(Clock::now()) {}

bool DeviceWatchingWait::operator()(std::uint32_t ms) {
  SessionBridgeState& s = *state_;
  if (ms == 0) return s.stopRequested.load();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  const Clock::duration slice = std::chrono::milliseconds(std::min(ms, kWaitSliceMs));
  for (;;) {
    if (s.stopRequested.load()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return s.stopRequested.load();
    {
      // A notification or a spurious wake-up only shortens this slice; the
      // flags are checked again below either way.
      std::unique_lock lock(s.mutex);
      s.wake.wait_for(lock, std::min(slice, deadline - now));
    }
    if (ms >= kScanningWaitMinMs && devicesChanged()) return s.stopRequested.load();
    if (s.resumeRequested.load()) return s.stopRequested.load();
  }
}

bool DeviceWatchingWait::devicesChanged() {
  const Clock::time_point now = Clock::now();
  if (now - lastScan_ <= kScanInterval) return false;
  lastScan_ = now;
  DeviceList devices = scan_();
  const bool changed = !sameDevices(devices, lastDevices_);
  lastDevices_ = std::move(devices);
  return changed;
}

bool sameDevices(const DeviceList& a, const DeviceList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HidDeviceInfo& x, const HidDeviceInfo& y) {
    return x.path == y.path && x.serial == y.serial;
  });
}

}  // namespace pelmora
