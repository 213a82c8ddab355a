#include "linux/app/demo_synth.h"

namespace pelmora::app {

DemoSynth::DemoSynth() : bus_(clock_) { bus_.addDevice(kDemoPath, kDemoSerial); }

SessionBridgeOptions DemoSynth::bridgeOptions() {
  SessionBridgeOptions options;
  options.hooks = bus_.hooks(clock_);
  return options;
}

}  // namespace pelmora::app
