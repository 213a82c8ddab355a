#pragma once
// `pelmora --replay FILE`: a recorded capture shown as if its synthesizer
// were attached, at the recorded pace. When the capture has played to its
// end the device is unplugged, so the window says "No Device".
#include <memory>

#include "bridge/session_bridge.h"
#include "sim/capture.h"
#include "sim/capture_replayer.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::app {

inline constexpr char16_t kReplayPath[] = u"replay:0";
inline constexpr char16_t kReplaySerial[] = u"REPLAY";

class CaptureSource {
 public:
  explicit CaptureSource(sim::Capture capture);

  // The session's hooks into the simulated bus. The bus is used only from
  // the session's worker thread, so this object must outlive that worker.
  SessionBridgeOptions bridgeOptions();

 private:
  sim::RealClock clock_;
  sim::SimBus bus_;
  std::shared_ptr<sim::CaptureReplayer> replayer_;
};

// The same hooks on any clock, for tests.
ConnectionHooks replayHooks(sim::SimBus& bus, sim::SimClock& clock, std::shared_ptr<sim::CaptureReplayer> replayer);

}  // namespace pelmora::app
