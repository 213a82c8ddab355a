#pragma once
// The worker's one way of pausing. Besides stop it ends early on a resume
// request and, in pauses long enough to matter, when the set of attached
// devices changed, so "No Device" and error pauses react to plugging within
// about half a second without any device-change notification.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "bridge/session_state.h"
#include "core/transport/hid_device_info.h"

namespace pelmora {

using DeviceScan = std::function<DeviceList()>;

inline constexpr std::uint32_t kWaitSliceMs = 20;
// Pauses shorter than this never scan: the session engine's 1 ms and 10 ms
// waits must not enumerate.
inline constexpr std::uint32_t kScanningWaitMinMs = 101;
inline constexpr std::chrono::nanoseconds kScanInterval = std::chrono::milliseconds(500);

class DeviceWatchingWait {
 public:
  // The first scan comes no earlier than one interval after construction and
  // compares against an empty list.
  DeviceWatchingWait(std::shared_ptr<SessionBridgeState> state, DeviceScan scan);

  // Waits up to `ms`; true when stop was requested.
  bool operator()(std::uint32_t ms);

 private:
  // Scans when due; true when the list differs from the previous scan.
  bool devicesChanged();

  std::shared_ptr<SessionBridgeState> state_;
  DeviceScan scan_;
  std::chrono::steady_clock::time_point lastScan_;
  DeviceList lastDevices_;
};

// Same length and, position by position, the same path and serial; error
// texts do not count.
bool sameDevices(const DeviceList& a, const DeviceList& b);

}  // namespace pelmora
