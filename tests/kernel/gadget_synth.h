#pragma once
// The simulated synthesizer as a USB device: a configfs HID gadget on the
// dummy host controller, so the kernel's real usbhid driver finds it on a
// USB bus and a feature report travels as a SET_REPORT control transfer.
// The gadget's HID function takes SET_REPORT itself (no OUT endpoint) and
// hands its data to /dev/hidgN, from where it becomes the device's command;
// the device's reports go back through the same node on the interrupt IN
// endpoint. The function completes every control transfer on its own, so the
// link faults of a SET_REPORT cannot be played here.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "core/protocol/wire_format.h"
#include "descriptor_support.h"
#include "sim/sim_device.h"

namespace pelmora::test {

class GadgetSynth {
 public:
  // Builds and binds the gadget. Throws std::runtime_error when configfs,
  // the HID function or a device controller is missing.
  explicit GadgetSynth(const std::string& serial, const sim::DeviceConfig& config = {});
  ~GadgetSynth();
  GadgetSynth(const GadgetSynth&) = delete;
  GadgetSynth& operator=(const GadgetSynth&) = delete;

  template <class F>
  auto with(F f) {
    std::lock_guard lock(mutex_);
    return f(device_);
  }
  std::uint64_t featureReports();
  // Takes the gadget off the bus, as pulling the cable would.
  void unplug();

 private:
  void bind();
  void unbind();
  void serve();

  std::string serial_;
  std::string root_;
  int fd_ = -1;
  std::mutex mutex_;
  sim::SimDevice device_;
  std::uint64_t featureReports_ = 0;
  std::deque<Report> outgoing_;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

}  // namespace pelmora::test
