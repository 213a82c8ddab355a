#pragma once
// What the worker's wait can sleep on instead of short slices: a platform
// object that ends the sleep when another thread interrupts it or, if asked,
// when device nodes may have come or gone. With one, a long pause costs no
// wake-ups at all.
#include <chrono>

#include "core/transport/hid_transport.h"

namespace pelmora {

enum class DeviceEventOutcome {
  Quiet,           // the time ran out, or nothing of interest happened
  Interrupted,     // interrupt() was called (before or during the wait)
  DevicesChanged,  // a device node may have appeared, gone or changed
  ReportReady,     // the transport's report signal fired
};

class IDeviceEvents {
 public:
  virtual ~IDeviceEvents() = default;
  // Sleeps up to `timeout`. An interrupt is never lost: one that came while
  // nobody waited ends the next wait at once. Device changes are reported
  // only when `watchDevices`; otherwise they are kept for a later wait.
  // `report` is slept on beside them when it is of the kind the platform's
  // transports give.
  virtual DeviceEventOutcome waitFor(std::chrono::nanoseconds timeout, bool watchDevices,
                                     const ReportSignal& report = {}) = 0;
  // Safe from any thread.
  virtual void interrupt() = 0;
};

}  // namespace pelmora
