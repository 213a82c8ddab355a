// A session recorded on the simulator replays to the very pictures the
// session drew: the replay keeps the handshake (same request ids), the
// order of messages and the pictures, also when the host read the reports
// late and in bursts.
#include "tools/capture_replay/capture_replay.h"

#include <gtest/gtest.h>

#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::replay {
namespace {

struct Recorded {
  sim::Capture capture;
  std::vector<std::uint64_t> digests;
};

// `stallEveryMs`: the host stops reading for 20 ms that often, so reports
// pile up and are read in bursts with equal times.
Recorded recordSession(std::uint32_t stallEveryMs) {
  sim::VirtualClock clock;
  sim::SimBus bus(clock);
  bus.addDevice(u"dev", u"SN1", {.seed = 3, .modeCycleMs = 700});
  Recorded out;
  sim::CaptureRecorder recorder([&] { return clock.now(); });
  ConnectionHooks hooks = bus.hooks(clock);
  auto wait = hooks.wait;
  hooks.wait = [&, wait](std::uint32_t ms) {
    if (stallEveryMs && clock.now() % stallEveryMs < ms) ms += 20;
    return wait(ms);
  };
  ConnectionWorker worker(
      {}, [](const OutputFrame&) {},
      [&](const LcdModel&, const LcdCanvas& canvas) { out.digests.push_back(canvasDigest(canvas)); },
      recorder.observer(), hooks, {}, {});
  worker.setRandomSource([](std::uint32_t& value) {
    value = kReplayRandom;
    return true;
  });
  clock.stopAt(clock.now() + 6000);
  worker.run();
  out.capture = recorder.capture();
  return out;
}

TEST(CaptureReplayTest, ARecordedSessionReplaysToTheSamePictures) {
  for (std::uint32_t stallEveryMs : {0u, 333u}) {
    const Recorded recorded = recordSession(stallEveryMs);
    ASSERT_GT(recorded.digests.size(), 50u) << stallEveryMs;
    EXPECT_EQ(replayCaptureFrames(recorded.capture), recorded.digests) << stallEveryMs;
  }
}

TEST(CaptureReplayTest, AnEmptyCaptureDrawsNothing) { EXPECT_TRUE(replayCaptureFrames({}).empty()); }

}  // namespace
}  // namespace pelmora::replay
