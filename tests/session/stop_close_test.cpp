// The CLOSE_SESSION of a stop: its transfer may take a while at the driver,
// and the close that ends the session would cancel it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "core/protocol/session_engine.h"
#include "sim/forwarding_transport.h"
#include "sim_env.h"

namespace pelmora {
namespace {

using testing::SimEnv;

// Once the stop is due, every poll takes `pollMs` of the clock, as a busy
// loop on a real clock does (0: a clock that stands still).
class TimedPollTransport final : public sim::ForwardingTransport {
 public:
  TimedPollTransport(std::unique_ptr<IHidTransport> inner, sim::VirtualClock& clock, std::uint64_t stopMs,
                     std::uint64_t pollMs)
      : ForwardingTransport(std::move(inner)), clock_(clock), stopMs_(stopMs), pollMs_(pollMs) {}
  bool poll() override {
    if (clock_.now() >= stopMs_) clock_.advance(pollMs_);
    return inner_->poll();
  }

 private:
  sim::VirtualClock& clock_;
  std::uint64_t stopMs_;
  std::uint64_t pollMs_;
};

struct DrainCase {
  const char* name;
  std::uint32_t featureDelayMs;
  bool featureStuck;
  std::uint64_t pollMs;
  std::uint64_t tickMs;  // the clock the engine reads moves in steps of this
  std::uint64_t sessionsClosed;
  std::uint64_t minStopMs, maxStopMs;  // from the stop to the end of the session
};

TEST(SessionStop, CloseSessionIsGivenAQuarterSecondToReachTheDevice) {
  for (const DrainCase& c : {
           DrainCase{"transfer done in 20 ms", 20, false, 1, 1, 1, 19, 25},
           DrainCase{"transfer never done", 0, true, 1, 1, 0, kCloseDrainMs, kCloseDrainMs + 5},
           // Polls that take no time, on a clock of 16 ms ticks.
           DrainCase{"coarse clock", 0, true, 0, 16, 0, kCloseDrainMs - 16, kCloseDrainMs + 16},
       }) {
    SCOPED_TRACE(c.name);
    SimEnv env;
    const std::uint64_t stopMs = env.t0() + 3504;  // on a tick of every clock here
    std::uint64_t readings = 0;  // of the clock after the stop, one per poll of the drain
    ConnectionHooks hooks = env.bus.hooks(env.clock);
    hooks.now = [&env, &c, &readings, stopMs] {
      readings += env.clock.now() >= stopMs;
      return env.clock.now() / c.tickMs * c.tickMs;
    };
    hooks.createTransport = [&env, &c, stopMs] {
      return std::make_unique<TimedPollTransport>(env.bus.createTransport(), env.clock, stopMs, c.pollMs);
    };
    testing::WorkerHarness h(hooks);
    env.link().featureDelayMs = c.featureDelayMs;
    h.at(stopMs - 1, [&env, &c] { env.link().featureStuck = c.featureStuck; });
    h.stopAt(stopMs);
    const auto started = std::chrono::steady_clock::now();
    h.worker().runSession(env.info, env.info.serial);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(env.device->counters().sessionsClosed, c.sessionsClosed);
    EXPECT_GE(env.clock.now() - stopMs, c.minStopMs);
    EXPECT_LE(env.clock.now() - stopMs, c.maxStopMs);
    EXPECT_LE(readings, kCloseDrainMs + 50) << "a pause between polls, not a busy core";
    EXPECT_EQ(env.bus.liveTransports(), 0);
  }
}

}  // namespace
}  // namespace pelmora
