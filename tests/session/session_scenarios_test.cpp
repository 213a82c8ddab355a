// Whole sessions against the simulated synthesizer: a healthy stream, the
// handshake's special answers, unplugging, stopping, and the reconnect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <functional>

#include "core/protocol/session_engine.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"
#include "sim/forwarding_transport.h"
#include "sim_env.h"

namespace pelmora {
namespace {

using testing::SimEnv;

TEST(Session, HealthyStreamDeliversEveryPageAndKeepsTheSessionAlive) {
  sim::DeviceConfig config;
  config.modeCycleMs = 6000;
  SimEnv env(config);
  auto& h = *env.harness;
  h.stopAt(env.t0() + 60000);
  env.runSession();
  const WorkerStatistics& stats = h.worker().statistics();
  const sim::DeviceCounters& device = env.device->counters();
  SCOPED_TRACE(h.dump());

  EXPECT_EQ(h.statusSequence(), std::vector<std::string>{"Connecting..."}) << "a stop shows no final status";
  for (std::size_t mode = 0; mode < kModeCount; ++mode) EXPECT_GT(h.modeFrames()[mode], 50u) << "mode " << mode;
  // Every FRAME is drawn (a new STATE or picture row is drawn too).
  EXPECT_GE(h.lcdFrames(), device.frames - 2);
  EXPECT_GT(device.frames, 55u * 30u);

  EXPECT_NEAR(static_cast<double>(stats.frames), static_cast<double>(device.frames), 1.0)
      << "only a frame still in the pipe at the stop may be missing";
  EXPECT_EQ(stats.states, device.states);
  EXPECT_EQ(stats.images, device.images);
  EXPECT_EQ(stats.sessions, 1u);
  EXPECT_EQ(stats.failures, 0u);
  // One HEARTBEAT a second, all of them reaching the device.
  EXPECT_GE(stats.heartbeats, 59u);
  EXPECT_LE(stats.heartbeats, 61u);
  EXPECT_EQ(stats.heartbeats, device.heartbeats);
  EXPECT_LE(stats.maxLoopGapMs, config.framePeriodMs) << "the loop sleeps from report to report";
  EXPECT_LE(stats.maxReadBurstMs, 5u);

  EXPECT_EQ(device.sessionsClosed, 1u) << "exactly one CLOSE_SESSION on stop";
  EXPECT_EQ(h.serialSequence(), (std::vector<std::string>{"S1", ""}));
  EXPECT_TRUE(h.worker().hasShownFrame);
  EXPECT_EQ(env.bus.liveTransports(), 0);
}

TEST(Session, StopWhileAFeatureTransferIsInFlightSendsNoClose) {
  SimEnv env;
  auto& h = *env.harness;
  h.at(env.t0() + 3000, [&env] { env.link().featureStuck = true; });
  // The stop comes while the stuck transfer is still flagged in flight.
  h.at(env.t0() + 3000 + 1500, [&env] {
    env.clock.requestStop();
    env.link().featureStuck = false;
  });
  h.stopWhen([&env] { return env.clock.stopRequested(); });
  env.runSession();
  EXPECT_EQ(env.device->counters().sessionsClosed, 0u);
  EXPECT_EQ(env.bus.liveTransports(), 0);
}

TEST(Session, HelloNotAcceptedOnceIsRepeatedWithAFreshCounter) {
  SimEnv env;
  env.faults().answerStatus(Command::Hello, kStatusNotAccepted, 1);
  std::vector<std::uint32_t> draws;
  env.harness->worker().setRandomSource([&draws](std::uint32_t& out) {
    out = 0xFFFFFFF0u + static_cast<std::uint32_t>(draws.size()) * 0x100;
    draws.push_back(out);
    return true;
  });
  auto& h = *env.harness;
  h.stopWhen([&h] { return h.lcdFrames() > 0; });
  env.runSession();
  EXPECT_EQ(draws.size(), 2u);
  EXPECT_EQ(h.worker().statistics().failures, 0u);
  EXPECT_EQ(h.statusSequence(), std::vector<std::string>{"Connecting..."});
}

TEST(Session, HelloNotAcceptedTwiceFailsThenReconnectsInPlace) {
  SimEnv env;
  env.faults().answerStatus(Command::Hello, kStatusNotAccepted, 2);
  auto& h = *env.harness;
  h.stopWhen([&h] { return h.lcdFrames() > 0; });
  h.stopAt(env.t0() + 60000);
  env.runSession();
  EXPECT_EQ(h.worker().lastError, "Connection Error\nCommand Rejected");
  EXPECT_EQ(h.statusSequence(), (std::vector<std::string>{"Connecting...", "Reconnecting..."}));
  EXPECT_GT(h.lcdFrames(), 0u);
}

TEST(Session, IgnoredStateRequestIsAskedAgainEveryHalfSecondWhileAFrameWaits) {
  SimEnv env;
  env.faults().answerStatus(Command::RequestState, kStatusIgnored, sim::kAlways);
  auto& h = *env.harness;
  std::uint64_t commandsBefore = 0;
  std::uint64_t heartbeatsBefore = 0;
  // From 3 s to 6 s every FRAME waits for a STATE that never comes.
  h.at(env.t0() + 3000, [&] {
    env.faults().orphanFrames = true;
    commandsBefore = env.device->counters().commands;
    heartbeatsBefore = env.device->counters().heartbeats;
  });
  h.at(env.t0() + 6000, [&] {
    const std::uint64_t commands = env.device->counters().commands - commandsBefore;
    const std::uint64_t heartbeats = env.device->counters().heartbeats - heartbeatsBefore;
    EXPECT_GE(commands - heartbeats, 4u) << "REQUEST_STATE about every 500 ms";
    EXPECT_LE(commands - heartbeats, 6u);
    env.faults().orphanFrames = false;
  });
  h.stopAt(env.t0() + 8000);
  env.runSession();
  EXPECT_EQ(h.worker().statistics().failures, 0u);
  EXPECT_GT(h.lastLcdTime(), env.t0() + 6000);
}

// Hands a few extra input reports to the engine before the device's own.
class InjectingTransport final : public sim::ForwardingTransport {
 public:
  InjectingTransport(std::unique_ptr<IHidTransport> inner, std::deque<Report> extra)
      : ForwardingTransport(std::move(inner)), extra_(std::move(extra)) {}
  bool readReport(std::uint8_t* report, bool& received) override {
    if (extra_.empty()) return inner_->readReport(report, received);
    std::copy(extra_.front().begin(), extra_.front().end(), report);
    extra_.pop_front();
    received = true;
    return true;
  }

 private:
  std::deque<Report> extra_;
};

TEST(Session, StreamReportsBeforeTheSessionOpensAreIgnored) {
  SimEnv env;
  // A complete STATE and FRAME pair carrying session id 0: the stream
  // assembler's token before OPEN_SESSION, so nothing but the engine's own
  // rule keeps them out.
  sim::StateFields state;
  state.sessionId = 0;
  sim::FrameFields frame;
  frame.sessionId = 0;
  std::deque<Report> extra;
  for (const Report& r : sim::fragmentMessage(2, 1, sim::buildState(state))) extra.push_back(r);
  for (const Report& r : sim::fragmentMessage(1, 1, sim::buildFrame(frame))) extra.push_back(r);
  ConnectionHooks hooks = env.bus.hooks(env.clock);
  hooks.createTransport = [&env, extra] {
    return std::make_unique<InjectingTransport>(env.bus.createTransport(), extra);
  };
  testing::WorkerHarness h(hooks);
  h.stopAt(env.t0() + 5000);
  h.worker().runSession(env.info, env.info.serial);
  const WorkerStatistics& stats = h.worker().statistics();
  EXPECT_EQ(stats.states, env.device->counters().states);
  EXPECT_EQ(stats.frames, env.device->counters().frames);
  EXPECT_GT(h.lcdFrames(), 0u);
}

TEST(Session, NeverSynchronisedEndsAfterThirtySecondsTwice) {
  SimEnv env;
  env.faults().orphanFrames = true;
  auto& h = *env.harness;
  h.stopAt(env.t0() + 100000);
  env.runSession();
  SCOPED_TRACE(h.dump());
  const std::string text = "Response Timeout\nLCD Synchronization";
  EXPECT_EQ(h.worker().lastError, text);
  EXPECT_EQ(h.worker().statistics().failures, 2u);
  EXPECT_EQ(h.statusSequence(), (std::vector<std::string>{"Connecting...", "Reconnecting...", text}));
  const std::uint64_t reconnect = h.firstStatusTime("Reconnecting...");
  EXPECT_GE(reconnect - env.t0(), 30000u);
  EXPECT_LE(reconnect - env.t0(), 30010u);
  EXPECT_EQ(h.lcdFrames(), 0u);
}

TEST(Session, UnplugAfterFramesClearsTheSerialAndEndsWithoutRetry) {
  SimEnv env;
  auto& h = *env.harness;
  h.at(env.t0() + 3000, [&env] { env.bus.unplug(env.info.path); });
  const std::string text = env.withCode("Connection Error\nRead Failed", sim::kPlatformCodes.gone);
  env.runSession();
  SCOPED_TRACE(h.dump());
  EXPECT_EQ(h.worker().lastError, text);
  EXPECT_EQ(h.statusSequence(), (std::vector<std::string>{"Connecting...", text}));
  EXPECT_EQ(h.serialSequence(), (std::vector<std::string>{"S1", ""}));
  EXPECT_EQ(env.clock.now() - h.firstStatusTime(text), 1000u);
}

TEST(Session, StoppedStreamReconnectsOnceThenGivesUp) {
  SimEnv env;
  auto& h = *env.harness;
  h.at(env.t0() + 3000, [&env] { env.faults().streamPaused = true; });
  env.runSession();
  const std::string text = "Connection Error\nLCD Stream Stopped";
  SCOPED_TRACE(h.dump());
  EXPECT_EQ(h.statusSequence(), (std::vector<std::string>{"Connecting...", "Reconnecting...", text}));
  EXPECT_EQ(h.worker().statistics().failures, 2u);
  EXPECT_EQ(h.worker().statistics().sessions, 2u) << "a fresh HELLO and session after the reopen";
  // The reconnect's screen is drawn over the last picture.
  EXPECT_TRUE(h.worker().hasShownFrame);
}

TEST(Session, CloseRefusedShowsCancellationPendingUntilItLetsGo) {
  SimEnv env;
  auto& h = *env.harness;
  h.at(env.t0() + 3000, [&env] {
    env.link().closeRefusals.remaining = 3;
    env.bus.unplug(env.info.path);
  });
  env.runSession();
  EXPECT_EQ(h.countStatus("Connection Error\nI/O Cancellation Pending"), 3u);
  EXPECT_EQ(env.bus.liveTransports(), 0);
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// A stop is seen within the wait it lands in, wherever the session is.
TEST(Session, StopEndsEveryWaitOfASessionAtOnce) {
  struct Case {
    const char* where;
    std::uint64_t stopAfter;
    std::function<void(SimEnv&)> setup;
  };
  const Case cases[] = {
      {"streaming", 2500, [](SimEnv&) {}},
      {"first open failure on screen", 500,
       [](SimEnv& env) {
         env.link().openFailureCode = sim::kPlatformCodes.busy;
         env.link().openFailures.remaining = 1;
       }},
      {"close refused before the reopen", 3100,
       [](SimEnv& env) {
         env.harness->at(env.t0() + 3000, [&env] {
           env.link().closeRefusals.remaining = 1000;
           env.harness->resumeAt(0);
         });
       }},
      {"final failure on screen", 3500,
       [](SimEnv& env) { env.harness->at(env.t0() + 3000, [&env] { env.bus.unplug(env.info.path); }); }},
  };
  for (const Case& c : cases) {
    SimEnv env;
    c.setup(env);
    env.harness->stopAt(env.t0() + c.stopAfter);
    env.runSession();
    EXPECT_EQ(env.clock.now(), env.t0() + c.stopAfter) << c.where;
    EXPECT_EQ(env.harness->worker().lastReportedSerial, u"") << c.where;
  }
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// A real clock may tick between the engine's reading of the time after a
// burst and the HEARTBEAT it sends in answer to OPEN_SESSION; that must not
// read as a session without a HEARTBEAT for ages.
class BurstEndMarker final : public sim::ForwardingTransport {
 public:
  BurstEndMarker(std::unique_ptr<IHidTransport> inner, int& readingsAfterEnd)
      : ForwardingTransport(std::move(inner)), readingsAfterEnd_(readingsAfterEnd) {}
  bool readReport(std::uint8_t* report, bool& received) override {
    const bool ok = inner_->readReport(report, received);
    if (ok && !received) readingsAfterEnd_ = 0;
    return ok;
  }

 private:
  int& readingsAfterEnd_;
};

TEST(Session, ClockTickingRightAfterTheBurstExpiresNothing) {
  SimEnv env;
  int readingsAfterEnd = -1;
  ConnectionHooks hooks = env.bus.hooks(env.clock);
  hooks.createTransport = [&env, &readingsAfterEnd] {
    return std::make_unique<BurstEndMarker>(env.bus.createTransport(), readingsAfterEnd);
  };
  // The reading that closes a burst is taken; the clock moves on by 1 ms
  // before the next one.
  hooks.now = [&env, &readingsAfterEnd] {
    if (readingsAfterEnd >= 0 && ++readingsAfterEnd == 2) {
      readingsAfterEnd = -1;
      env.clock.advance(1);
    }
    return env.clock.now();
  };
  testing::WorkerHarness h(hooks);
  h.stopAt(env.t0() + 20000);
  h.worker().runSession(env.info, env.info.serial);
  SCOPED_TRACE(h.dump());
  EXPECT_EQ(h.worker().statistics().failures, 0u) << h.worker().lastError;
  EXPECT_EQ(h.worker().statistics().sessions, 1u);
  EXPECT_GT(h.lcdFrames(), 0u);
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// A transport that is never empty: when the device has nothing, it hands out
// junk fragments (no fragment count) and lets 1 ms pass every `readsPerMs`
// of them. Counts the reads of each burst (the reads between two polls).
class FloodTransport final : public sim::ForwardingTransport {
 public:
  FloodTransport(std::unique_ptr<IHidTransport> inner, sim::VirtualClock& clock, int readsPerMs, int& maxBurst)
      : ForwardingTransport(std::move(inner)), clock_(clock), readsPerMs_(readsPerMs), maxBurst_(maxBurst) {}
  bool readReport(std::uint8_t* report, bool& received) override {
    maxBurst_ = std::max(maxBurst_, ++burst_);
    if (!inner_->readReport(report, received)) return false;
    if (received) return true;
    std::fill(report, report + kReportLength, 0);
    report[0] = kInputReportId;
    report[kFragmentKindOffset] = static_cast<std::uint8_t>(MessageKind::Frame);
    if (++junk_ % readsPerMs_ == 0) clock_.advance(1);
    received = true;
    return true;
  }
  bool poll() override {
    burst_ = 0;
    return inner_->poll();
  }

 private:
  sim::VirtualClock& clock_;
  int readsPerMs_;
  int& maxBurst_;
  int burst_ = 0;
  int junk_ = 0;
};

// Under a flood a burst ends after 256 reports or 5 ms, whichever comes
// first, and the handshake, keep-alive and frames go on between bursts.
TEST(Session, FloodOfReportsIsReadInBoundedBursts) {
  for (const int readsPerMs : {100, 10}) {
    SimEnv env;
    int maxBurst = 0;
    ConnectionHooks hooks = env.bus.hooks(env.clock);
    hooks.createTransport = [&env, &maxBurst, readsPerMs] {
      return std::make_unique<FloodTransport>(env.bus.createTransport(), env.clock, readsPerMs, maxBurst);
    };
    testing::WorkerHarness h(hooks);
    h.stopAt(env.t0() + 4000);
    h.worker().runSession(env.info, env.info.serial);
    const WorkerStatistics& stats = h.worker().statistics();
    SCOPED_TRACE(h.dump());
    if (readsPerMs == 100) {  // 256 reports take under 5 ms
      EXPECT_EQ(maxBurst, 256);
      EXPECT_LT(stats.maxReadBurstMs, 5u);
    } else {  // 5 ms pass after about 50 reports
      EXPECT_LT(maxBurst, 80);
      EXPECT_EQ(stats.maxReadBurstMs, 5u);
    }
    EXPECT_EQ(stats.failures, 0u) << h.worker().lastError;
    EXPECT_GE(stats.heartbeats, 3u);
    EXPECT_GT(h.lcdFrames(), 0u);
  }
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// When the report read first waited for the host, the longest any waited,
// and the clock's reading at each HEARTBEAT and at the last FRAME fragment.
struct Landings {
  std::uint64_t waitingSince = 0, longestWait = 0, lastFrame = 0;
  std::vector<std::uint64_t> heartbeats;
};

class LandingWatch final : public sim::ForwardingTransport {
 public:
  LandingWatch(std::unique_ptr<IHidTransport> inner, SimEnv& env, Landings& seen, std::function<std::uint64_t()> reading)
      : ForwardingTransport(std::move(inner)), env_(env), seen_(seen), reading_(std::move(reading)) {}
  bool readReport(std::uint8_t* report, bool& received) override {
    const bool ok = inner_->readReport(report, received);
    if (received && seen_.waitingSince != 0) seen_.longestWait = std::max(seen_.longestWait, env_.clock.now() - seen_.waitingSince);
    if (env_.device->pipe().hostQueued() == 0) seen_.waitingSince = 0;
    if (received && report[kFragmentKindOffset] == static_cast<std::uint8_t>(MessageKind::Frame)) seen_.lastFrame = reading_();
    return ok;
  }
  bool sendFeature(const std::uint8_t* report) override {
    if (report[kCommandCodeOffset] == static_cast<std::uint8_t>(Command::Heartbeat)) seen_.heartbeats.push_back(reading_());
    return inner_->sendFeature(report);
  }

 private:
  SimEnv& env_;
  Landings& seen_;
  std::function<std::uint64_t()> reading_;
};

// A clock read in ticks whose timed waits end on a tick, as Windows' do;
// the read's event, when the wait has it, ends a wait at once. Reports are
// read in the millisecond they land, and every timer fires on the first
// tick at or after its deadline, as the 1 ms pause had it.
TEST(Session, ReportsAreReadAsTheyLandAndTimersFireOnTheFirstTickOfTheirDeadline) {
  struct TickCase {
    const char* name;
    std::uint64_t tickMs;
    bool readEvent;
  };
  for (const TickCase& c : {TickCase{"1 ms clock, the read's event", 1, true},
                            TickCase{"16 ms ticks, the read's event", 16, true},
                            TickCase{"16 ms ticks, timed waits only", 16, false}}) {
    SCOPED_TRACE(c.name);
    SimEnv env;
    auto onTick = [&c](std::uint64_t ms) { return (ms + c.tickMs - 1) / c.tickMs * c.tickMs; };
    Landings seen;
    // One millisecond at a time, so that each landing is seen.
    auto pass = [&env, &seen](std::uint64_t until, bool endOnReport) {
      while (env.clock.now() < until && !(endOnReport && seen.waitingSince != 0)) {
        env.clock.advance(1);
        if (seen.waitingSince == 0 && env.device->pipe().hostQueued() > 0) seen.waitingSince = env.clock.now();
      }
    };
    ConnectionHooks hooks = env.bus.hooks(env.clock);
    hooks.now = [&env, &c] { return env.clock.now() / c.tickMs * c.tickMs; };
    hooks.wait = [&](std::uint32_t ms) {
      pass(onTick(env.clock.now() + ms), false);
      return false;
    };
    if (c.readEvent) {
      hooks.waitForReport = [&](std::uint32_t ms, const ReportSignal&) {
        pass(onTick(env.clock.now() + ms), true);
        return false;
      };
    }
    hooks.createTransport = [&] { return std::make_unique<LandingWatch>(env.bus.createTransport(), env, seen, hooks.now); };
    testing::WorkerHarness h(hooks, UINT32_MAX);
    h.at(env.t0() + 6000, [&env] { env.faults().streamPaused = true; });
    h.stopWhen([&h] { return h.countStatus("Reconnecting...") > 0; });
    h.worker().runSession(env.info, env.info.serial);
    SCOPED_TRACE(h.dump());

    if (c.readEvent) {
      EXPECT_EQ(seen.longestWait, 0u) << "read in the millisecond it landed";
    } else {
      EXPECT_GE(seen.longestWait, c.tickMs - 1) << "the timed waits show what a tick costs";
    }
    ASSERT_GE(seen.heartbeats.size(), 5u);
    for (std::size_t i = 2; i < seen.heartbeats.size(); ++i) {
      EXPECT_EQ(seen.heartbeats[i] - seen.heartbeats[i - 1], onTick(kHeartbeatIntervalMs)) << i;
    }
    EXPECT_EQ(h.worker().lastError, kTextStreamStopped);
    EXPECT_EQ(h.firstStatusTime("Reconnecting..."), onTick(seen.lastFrame + kStreamStoppedMs));
  }
}

}  // namespace
}  // namespace pelmora
