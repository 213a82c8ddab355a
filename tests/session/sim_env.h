#pragma once
// One simulated synthesizer on a simulated bus, on a virtual clock, with a
// harness around the worker.
#include <memory>
#include <string>

#include "sim/sim_bus.h"
#include "sim/sim_device.h"
#include "sim/virtual_clock.h"
#include "worker_harness.h"

namespace pelmora::testing {

struct SimEnv {
  explicit SimEnv(const sim::DeviceConfig& config = {}, const std::u16string& serial = u"S1");

  // One runSession on the device, as the supervisor would call it.
  void runSession();
  // Status text with "\nError <code>" appended; also made known to the harness.
  std::string withCode(const std::string& text, std::uint32_t code);
  sim::DeviceFaults& faults() { return device->faults; }
  sim::LinkFaults& link() { return device->link; }
  std::uint64_t t0() const { return start; }

  sim::VirtualClock clock;
  sim::SimBus bus{clock};
  HidDeviceInfo info;
  sim::SimDevice* device = nullptr;
  std::unique_ptr<WorkerHarness> harness;
  std::uint64_t start = 0;
};

}  // namespace pelmora::testing
