#include "linux/app/capture_source.h"

#include <utility>

namespace pelmora::app {

ConnectionHooks replayHooks(sim::SimBus& bus, sim::SimClock& clock, std::shared_ptr<sim::CaptureReplayer> replayer) {
  ConnectionHooks hooks = bus.hooks(clock);
  // The session reads the clock in every iteration; that is where the end
  // of the capture is noticed and the device taken away, which the session
  // then sees as an unplug.
  hooks.now = [&bus, &clock, replayer = std::move(replayer)] {
    if (replayer->done() && bus.isPlugged(kReplayPath)) bus.unplug(kReplayPath);
    return clock.now();
  };
  return hooks;
}

CaptureSource::CaptureSource(sim::Capture capture)
    : bus_(clock_), replayer_(std::make_shared<sim::CaptureReplayer>(std::move(capture))) {
  bus_.addEndpoint(kReplayPath, kReplaySerial, replayer_);
}

SessionBridgeOptions CaptureSource::bridgeOptions() {
  SessionBridgeOptions options;
  options.hooks = replayHooks(bus_, clock_, replayer_);
  return options;
}

}  // namespace pelmora::app
