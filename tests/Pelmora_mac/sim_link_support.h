#pragma once
// Puts a simulated synthesizer behind an entry of the simulated IOKit
// registry: each run-loop slice that serves the entry brings the bus up to
// date and hands the device's input reports to IOKit; completed feature
// transfers reach the device; an unplug on the bus is a removal in the
// registry. Everything runs on the thread that services the run loop.
#include <cstdint>
#include <string>

#include "fake_iokit/fake_iokit_control.h"
#include "sim/sim_bus.h"

namespace pelmora::testing {

class SimIokitLink {
 public:
  // The bus must outlive the link, and the link the entry's last use.
  SimIokitLink(sim::SimBus& bus, std::u16string simPath, const fake_iokit::DeviceSpec& spec);
  std::uint64_t entryId() const { return entryId_; }

 private:
  void service();

  sim::SimBus& bus_;
  std::u16string simPath_;
  std::uint64_t entryId_;
  bool removed_ = false;
};

}  // namespace pelmora::testing
