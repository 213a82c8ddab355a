#pragma once
// What the worker's pauses sleep on under macOS: the worker thread's own run
// loop, where IOKit delivers input reports, removals and feature
// completions. A pause for a report is one run of that loop that ends after
// the first source it handled; stop and resume end it through a source of
// our own on the same loop.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "bridge/device_events.h"

namespace pelmora {

// IOKit tells nothing here about devices coming and going, so a pause that
// watches for them says "may have changed" this often; with the bridge's
// settle time the device scan keeps its 500 ms rhythm.
inline constexpr std::chrono::milliseconds kRunLoopWatchInterval{400};

class RunLoopDeviceEvents final : public IDeviceEvents {
 public:
  RunLoopDeviceEvents();
  ~RunLoopDeviceEvents() override;
  RunLoopDeviceEvents(const RunLoopDeviceEvents&) = delete;
  RunLoopDeviceEvents& operator=(const RunLoopDeviceEvents&) = delete;

  // Always on the same thread (the worker's): the first call joins its run loop.
  DeviceEventOutcome waitFor(std::chrono::nanoseconds timeout, bool watchDevices,
                             const ReportSignal& report = {}) override;
  void interrupt() override;

  struct Loop;

 private:
  void joinCurrentLoop();

  std::atomic<bool> interrupted_{false};
  std::mutex mutex_;  // guards loop_ between the worker and interrupting threads
  std::unique_ptr<Loop> loop_;
};

}  // namespace pelmora
