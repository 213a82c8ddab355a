#include "sim/demo_synth.h"

#include <memory>

#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::sim {
namespace {

struct DemoBus {
  RealClock clock;
  SimBus bus{clock};  // after the clock: it leaves the clock when destroyed
  DemoBus() { bus.addDevice(kDemoPath, kDemoSerial); }
};

}  // namespace

ConnectionHooks demoHooks() {
  auto demo = std::make_shared<DemoBus>();
  ConnectionHooks hooks;
  hooks.enumerate = [demo] { return demo->bus.enumerate(); };
  hooks.createTransport = [demo] { return demo->bus.createTransport(); };
  hooks.now = [demo] { return demo->clock.now(); };
  return hooks;
}

}  // namespace pelmora::sim
