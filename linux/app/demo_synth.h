#pragma once
// `pelmora --demo`: one simulated synthesizer on a simulated bus, running on
// the real clock and cycling through every page of its display, so the
// program can be tried without the hardware.
#include "bridge/session_bridge.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::app {

inline constexpr char16_t kDemoPath[] = u"demo:0";
inline constexpr char16_t kDemoSerial[] = u"DEMO0001";

class DemoSynth {
 public:
  DemoSynth();

  // The session's hooks into the simulated bus. The bus is used only from
  // the session's worker thread, so this object must outlive that worker.
  SessionBridgeOptions bridgeOptions();

 private:
  sim::RealClock clock_;
  sim::SimBus bus_;
};

}  // namespace pelmora::app
