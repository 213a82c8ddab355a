#pragma once
// Device arrival and removal as events: the kernel (or the device manager)
// creates and removes the hidraw nodes in /dev, and inotify reports each
// change of that directory. Stop and resume come through an eventfd, so one
// poll covers all three and a pause wakes only when something happened. A
// session's pause adds the opened node's descriptor to the same poll.
#include <memory>
#include <string>

#include "bridge/device_events.h"

namespace pelmora {

class HidrawNodeEvents final : public IDeviceEvents {
 public:
  // Null when the directory cannot be watched (or the descriptors cannot be
  // made); the caller then keeps to timed device scans.
  static std::unique_ptr<HidrawNodeEvents> create(const std::string& devRoot);
  ~HidrawNodeEvents() override;
  HidrawNodeEvents(const HidrawNodeEvents&) = delete;
  HidrawNodeEvents& operator=(const HidrawNodeEvents&) = delete;

  DeviceEventOutcome waitFor(std::chrono::nanoseconds timeout, bool watchDevices,
                             const ReportSignal& report = {}) override;
  void interrupt() override;

 private:
  HidrawNodeEvents(int interruptFd, int nodeFd) : interruptFd_(interruptFd), nodeFd_(nodeFd) {}
  // Reads every queued event; true when one concerns a hidraw node.
  bool drainNodeEvents();

  int interruptFd_;
  int nodeFd_;
};

}  // namespace pelmora
