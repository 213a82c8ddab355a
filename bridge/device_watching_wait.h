#pragma once
// The worker's one way of pausing. Besides stop it ends early on a resume
// request and, in pauses long enough to matter, when the set of attached
// devices changed, so "No Device" and error pauses react to plugging within
// about half a second without any device-change notification. When the
// state carries device events, it sleeps on them instead: no slices, and a
// scan only after a device node changed.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "bridge/device_events.h"
#include "bridge/session_state.h"
#include "core/transport/hid_device_info.h"

namespace pelmora {

using DeviceScan = std::function<DeviceList()>;

inline constexpr std::uint32_t kWaitSliceMs = 20;
// Pauses shorter than this never scan: the session engine's 1 ms and 10 ms
// waits must not enumerate.
inline constexpr std::uint32_t kScanningWaitMinMs = 101;
inline constexpr std::chrono::nanoseconds kScanInterval = std::chrono::milliseconds(500);
// A new node is scanned only once its events have been quiet this long (the
// system's device manager sets its owner and mode right after it appears;
// opening it before then would fail), but never later than the limit after
// the first event.
inline constexpr std::chrono::nanoseconds kSettleQuiet = std::chrono::milliseconds(100);
inline constexpr std::chrono::nanoseconds kSettleLimit = std::chrono::milliseconds(300);

class DeviceWatchingWait {
 public:
  // The first scan comes no earlier than one interval after construction and
  // compares against an empty list.
  DeviceWatchingWait(std::shared_ptr<SessionBridgeState> state, DeviceScan scan);

  // Waits up to `ms`; true when stop was requested.
  bool operator()(std::uint32_t ms);
  // The same, ended early by a report: scans no devices, and sleeps on
  // `signal` only with device events; without, it lasts 1 ms at most.
  bool operator()(std::uint32_t ms, const ReportSignal& signal);

 private:
  bool slicedWait(std::uint32_t ms, bool watch);
  // Ends on an interrupt (stop, resume), on a changed device list, on the
  // report's signal, or at the deadline. A resume ends the wait it
  // interrupted, not every later one.
  bool eventWait(IDeviceEvents& events, std::uint32_t ms, const ReportSignal* report = nullptr);
  // Scans when due; true when the list differs from the previous scan.
  bool devicesChanged();
  bool scanChanged();

  std::shared_ptr<SessionBridgeState> state_;
  DeviceScan scan_;
  std::chrono::steady_clock::time_point lastScan_;
  DeviceList lastDevices_;
};

// Same length and, position by position, the same path and serial; error
// texts do not count.
bool sameDevices(const DeviceList& a, const DeviceList& b);

}  // namespace pelmora
