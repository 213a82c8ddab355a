// Every status text of a session produced by an injected fault, with the
// in-place reconnect decision that goes with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <functional>
#include <ostream>
#include <utility>

#include "core/transport/platform.h"
#include "sim_env.h"

namespace pelmora {
namespace {

using testing::SimEnv;

constexpr std::uint64_t kStreamingAt = 3000;  // well into streaming

struct FailureCase {
  const char* name;
  std::function<std::string(SimEnv&)> inject;  // returns the expected text
  bool retried;
};

// Test listings show the case by name rather than as raw bytes.
[[maybe_unused]] void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

// Counted faults wear off, so a retried attempt streams again.
const FailureCase kCases[] = {
    {"RandomNumberFailed",
     [](SimEnv& env) {
       auto calls = std::make_shared<int>(0);
       env.harness->worker().setRandomSource([calls](std::uint32_t& out) {
         out = 0x1234;
         return ++*calls > 1;
       });
       return std::string("Connection Error\nRandom Number Failed");
     },
     true},
    {"RandomFailsForHelloRepeat",
     [](SimEnv& env) {
       env.faults().answerStatus(Command::Hello, kStatusNotAccepted, 1);
       auto calls = std::make_shared<int>(0);
       env.harness->worker().setRandomSource([calls](std::uint32_t& out) {
         out = 7;
         return ++*calls != 2;
       });
       return std::string("Connection Error");
     },
     true},
    {"PowerResume",
     [](SimEnv& env) {
       env.harness->resumeAt(env.t0() + kStreamingAt);
       return std::string("Connection Error\nPower Resume");
     },
     true},
    {"FeatureCompletionFailed",
     [](SimEnv& env) {
       const std::uint32_t io = env.bus.codes.io;
       env.harness->at(env.t0() + kStreamingAt, [&env, io] {
         env.link().pollFailureCode = io;
         env.link().pollFailures.remaining = 1;
       });
       return env.withCode("Connection Error\nFeature Completion Failed", io);
     },
     true},
    {"FeatureCompletionFailedDeviceGone",
     [](SimEnv& env) {
       const std::uint32_t gone = env.bus.codes.gone;
       env.harness->at(env.t0() + kStreamingAt, [&env, gone] {
         env.link().pollFailureCode = gone;
         env.link().pollFailures.remaining = 1;
       });
       return env.withCode("Connection Error\nFeature Completion Failed", gone);
     },
     false},
    {"ReadFailedOrdinaryCode",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] {
         env.link().readFailureCode = sim::kPlatformCodes.io;
         env.link().readFailures.remaining = 1;
       });
       return env.withCode("Connection Error\nRead Failed", sim::kPlatformCodes.io);
     },
     true},
    {"ReadFailedDeviceGone",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] {
         env.link().readFailureCode = sim::kPlatformCodes.gone;
         env.link().readFailures.remaining = 1;
       });
       return env.withCode("Connection Error\nRead Failed", sim::kPlatformCodes.gone);
     },
     false},
    {"ForeignReportId",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] { env.faults().foreignReport.remaining = 1; });
       return std::string("Unsupported Protocol");
     },
     false},
    {"ResponseOfAnotherVersion",
     [](SimEnv& env) {
       env.faults().corruptAnswer(Command::Hello, sim::AnswerFault::Version21);
       return std::string("Unsupported Protocol");
     },
     false},
    {"StatusUnsupported",
     [](SimEnv& env) {
       env.faults().answerStatus(Command::OpenSession, kStatusUnsupported);
       return std::string("Unsupported Protocol");
     },
     false},
    {"StatusBusy",
     [](SimEnv& env) {
       env.faults().answerStatus(Command::OpenSession, kStatusBusy);
       return std::string("Device Busy\nProtocol BUSY");
     },
     false},
    {"StatusRejected",
     [](SimEnv& env) {
       env.faults().answerStatus(Command::OpenSession, kStatusRejected3);
       return std::string("Connection Error\nCommand Rejected");
     },
     true},
    {"FeatureSendRefused",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] {
         env.link().featureFailureCode = sim::kPlatformCodes.featureFailed;
         env.link().featureRefusals.remaining = 1;
       });
       return env.withCode("Connection Error\nFeature Send Failed", sim::kPlatformCodes.featureFailed);
     },
     true},
    {"FeatureStillInFlightAtDeadline",
     [](SimEnv& env) {
       env.link().featureDelayMs = 2500;
       env.harness->at(env.t0() + 1990, [&env] { env.link().featureDelayMs = 0; });
       return std::string("Connection Error\nFeature I/O Timeout");
     },
     true},
    {"FeatureResendRefused",
     [](SimEnv& env) {
       env.faults().corruptAnswer(Command::Hello, sim::AnswerFault::Silent);
       env.harness->at(env.t0() + 1000, [&env] { env.link().featureRefusals.remaining = 1; });
       return std::string("Connection Error\nFeature Retry Failed");
     },
     true},
    {"HeartbeatNeverAnswered",
     [](SimEnv& env) {
       env.faults().corruptAnswer(Command::Heartbeat, sim::AnswerFault::Silent, 2);
       return std::string("Response Timeout");
     },
     true},
    {"AnswersWithWrongEchoes",
     [](SimEnv& env) {
       env.faults().corruptAnswer(Command::OpenSession, sim::AnswerFault::WrongRequestId, 2);
       return std::string("Response Timeout");
     },
     true},
    {"MissingState",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] { env.faults().orphanFrames = true; });
       env.harness->at(env.t0() + kStreamingAt + 31000, [&env] { env.faults().orphanFrames = false; });
       return std::string("Response Timeout\nMissing STATE");
     },
     true},
    {"StreamStopped",
     [](SimEnv& env) {
       env.harness->at(env.t0() + kStreamingAt, [&env] { env.faults().streamPaused = true; });
       env.harness->at(env.t0() + kStreamingAt + 5500, [&env] { env.faults().streamPaused = false; });
       return std::string("Connection Error\nLCD Stream Stopped");
     },
     true},
    {"SessionExpiredAfterClockJump",
     [](SimEnv& env) {
       // A machine that slept without telling: the device kept streaming
       // into its queue, but no HEARTBEAT went out for over 5 s.
       env.harness->at(env.t0() + kStreamingAt, [&env] { env.clock.advance(5500); });
       return std::string("Connection Error\nSession Expired");
     },
     true},
};

class SessionFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SessionFailure, ShowsItsTextAndReconnectsInPlaceOnlyWhenAllowed) {
  SimEnv env;
  const std::string text = GetParam().inject(env);
  auto& h = *env.harness;
  auto& worker = h.worker();
  bool failed = false;
  // Stop once frames flow again after the failure (or give up after 90 s).
  h.stopWhen([&] {
    failed = failed || !worker.lastError.empty();
    return failed && h.lcdFrames() > 0 && h.lastLcdTime() > h.firstStatusTime("Reconnecting...");
  });
  h.stopAt(env.t0() + 90000);
  env.runSession();

  SCOPED_TRACE(h.dump());
  EXPECT_EQ(worker.lastError, text);
  EXPECT_EQ(worker.statistics().failures, 1u);
  const auto statuses = h.statusSequence();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Connecting...");
  if (GetParam().retried) {
    EXPECT_NE(h.firstStatusTime("Reconnecting..."), ~std::uint64_t{0});
    EXPECT_NE(h.stoppedAt(), 0u) << "stopped by the condition";
    EXPECT_LT(h.stoppedAt(), env.t0() + 90000) << "frames came back";
    EXPECT_EQ(h.countStatus(text), 0u) << "an in-place reconnect does not show the failure";
  } else {
    EXPECT_EQ(h.countStatus("Reconnecting..."), 0u);
    EXPECT_EQ(statuses.back(), text);
    EXPECT_EQ(h.stoppedAt(), 0u) << "runSession ended by itself";
  }
  EXPECT_EQ(env.bus.liveTransports(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, SessionFailure, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One wake brings several notices (Windows: 18, then 7 when a person woke
// the machine). Those that land in the reconnect the first one started cost
// nothing more; one during streaming costs a reconnect of its own, and so
// does a Mac's wake notice hours after the sleep notice that fell into the
// handshake of that reconnect, and so do the timers of that handshake when
// they see the night before the wake notice is in.
TEST(SessionResume, TheNoticesOfOneWakeCostOneReconnect) {
  struct Row {
    std::uint64_t gapMs, sleepMs;  // the clock jumps by sleepMs at gapMs
    std::uint64_t lateMs;          // and the second notice comes this much later
    std::size_t reconnects;
  };
  constexpr std::uint64_t kFourHoursMs = 4 * 3600 * 1000;
  std::uint64_t oneReconnectMs = 0;  // measured by the first row, whose second notice never comes
  for (const auto& [gapMs, sleepMs, lateMs, reconnects] :
       std::vector<Row>{{60000, 0, 0, 1}, {0, 0, 0, 1}, {20, 0, 0, 1}, {200, 0, 0, 1}, {900, 0, 0, 2},
                        {50, kFourHoursMs, 0, 2}, {50, kFourHoursMs, 1000, 3}}) {
    SimEnv env;
    auto& h = *env.harness;
    env.link().featureDelayMs = 100;  // a handshake that takes its time, as a real device's does
    const std::uint64_t first = env.t0() + kStreamingAt;
    h.resumeAt(first);
    if (sleepMs != 0) h.at(first + gapMs, [&env, sleepMs = sleepMs] { env.clock.advance(sleepMs); });
    h.resumeAt(first + gapMs + sleepMs + lateMs);
    h.stopAt(first + sleepMs + lateMs + 2000);
    env.runSession();
    std::uint64_t reconnectAt = 0, longestMs = 0;  // from "Reconnecting..." to frames again
    for (const testing::WorkerEvent& e : h.events()) {
      if (e.kind == testing::WorkerEvent::Kind::Status && e.text == "Reconnecting...") reconnectAt = e.timeMs;
      if (e.kind == testing::WorkerEvent::Kind::Lcd && reconnectAt != 0) {
        longestMs = std::max(longestMs, e.timeMs - std::exchange(reconnectAt, 0));
      }
    }
    if (oneReconnectMs == 0) oneReconnectMs = longestMs;
    SCOPED_TRACE("notices " + std::to_string(gapMs + sleepMs + lateMs) + " ms apart" + h.dump());
    EXPECT_EQ(reconnectAt, 0u) << "frames came back";
    // A second reconnect may meet the device's frame clock at another phase.
    EXPECT_LE(longestMs, oneReconnectMs + sim::DeviceConfig{}.framePeriodMs);
    EXPECT_EQ(h.countStatus("Reconnecting..."), reconnects);
    EXPECT_EQ(h.countStatus("Connection Error\nPower Resume"), 0u);
    EXPECT_EQ(h.worker().statistics().failures, reconnects) << "each reconnect in place, no failure on screen";
    EXPECT_EQ(h.serialSequence(), (std::vector<std::string>{"S1", ""})) << "the serial stays until the stop";
  }
}

// Open failures: the first open is not retried; the text stays for 1 s.
TEST(SessionOpen, FirstOpenFailureIsShownForOneSecond) {
  const sim::SimErrorCodes& codes = sim::kPlatformCodes;
  for (auto [code, headline] : {std::pair{codes.busy, "Device Busy"}, std::pair{codes.accessDenied, "Access Denied"},
                                std::pair{codes.notFound, "Open Failed"}}) {
    SimEnv env;
    const std::string text = env.withCode(headline, static_cast<std::uint32_t>(code));
    env.link().openFailureCode = static_cast<std::uint32_t>(code);
    env.link().openFailures.remaining = 1;
    env.runSession();
    auto& worker = env.harness->worker();
    EXPECT_EQ(worker.lastError, text);
    EXPECT_EQ(worker.statistics().failures, 1u);
    EXPECT_EQ(env.harness->statusSequence(), (std::vector<std::string>{"Connecting...", text}));
    EXPECT_EQ(env.clock.now() - env.harness->firstStatusTime(text), 1000u);
    EXPECT_EQ(env.bus.liveTransports(), 0);
  }
}

// A reopen that fails ends runSession, not counted, with the open text, or
// with the failure's own once the device has gone. A refusal that only says a
// transfer of ours still holds the device is waited out, the failure shown.
TEST(SessionOpen, FailedReopenEndsTheSessionUnlessOnlyOurOwnTransferHoldsTheDevice) {
  const std::string stopped = "Connection Error\nLCD Stream Stopped";
  const sim::SimErrorCodes& codes = sim::kPlatformCodes;
  using Refusals = std::pair<std::uint32_t, int>;  // the code and how many opens it refuses
  for (const auto& [code, refusals] :
       {Refusals{codes.busy, 1}, Refusals{codes.gone, 1}, Refusals{codes.heldByOwnTransfer, 20}}) {
    const bool held = code == codes.heldByOwnTransfer;
    if (held && !isHeldByOwnTransferCodeOn(sim::kSimCodeSystem, code)) continue;  // no such refusal on this platform
    SimEnv env;
    const std::string busy = env.withCode("Device Busy", code);
    env.harness->at(env.t0() + kStreamingAt, [&env, code = code, refusals = refusals] {
      env.faults().streamPaused = true;
      env.link().openFailureCode = code;
      env.link().openFailures.remaining = refusals;
    });
    env.harness->at(env.t0() + kStreamingAt + 5500, [&env] { env.faults().streamPaused = false; });
    env.harness->stopAt(env.t0() + 12000);
    env.runSession();
    auto& h = *env.harness;
    SCOPED_TRACE(h.dump());
    EXPECT_EQ(h.worker().lastError, code == codes.busy ? busy : stopped);
    EXPECT_EQ(h.worker().statistics().failures, 1u);
    std::vector<std::string> statuses{"Connecting...", "Reconnecting...", h.worker().lastError};
    if (held) statuses.push_back("Reconnecting...");
    EXPECT_EQ(h.statusSequence(), statuses);
    EXPECT_EQ(h.stoppedAt() != 0, held) << "only the wait for our own transfer streams again";
    if (held) {
      EXPECT_GT(h.lastLcdTime(), h.firstStatusTime(stopped) + 1000);
    }
  }
}

}  // namespace
}  // namespace pelmora
