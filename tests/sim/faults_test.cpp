// Each fault switch makes the simulated synthesizer misbehave exactly as it
// says: first seen on the wire by a minimal host, then through the host's
// own session engine, which must end with the status text that fault
// deserves.
#include <gtest/gtest.h>

#include <functional>

#include "core/protocol/byte_order.h"
#include "core/protocol/connection_worker.h"
#include "host_driver.h"

namespace pelmora::sim {
namespace {

constexpr const char16_t* kPath = u"/dev/hidraw4";

struct Rig : SimRig {
  Rig() : SimRig(kPath, u"F1") {}
};

TEST(SimFaultsTest, StatusOverridesLastForTheirCount) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  rig.device.faults.answerStatus(Command::Hello, kStatusNotAccepted, 2);
  EXPECT_EQ(statusOf(rig.host.command(Command::Hello, 0)), kStatusNotAccepted);
  EXPECT_EQ(statusOf(rig.host.command(Command::Hello, 0)), kStatusNotAccepted);
  EXPECT_EQ(checkHello(rig.host.command(Command::Hello, 0).data(), kHelloMinLength + 12), kHelloOk);

  rig.device.faults.answerStatus(Command::OpenSession, kStatusBusy, 1);
  EXPECT_EQ(statusOf(rig.host.command(Command::OpenSession, 0)), kStatusBusy);
  EXPECT_EQ(rig.device.sessionId(), 0u) << "a refused command is not carried out";
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.device.faults.answerStatus(Command::RequestState, kStatusIgnored, kAlways);
  const std::uint64_t states = rig.device.counters().states;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(statusOf(rig.host.command(Command::RequestState, rig.host.sessionId)), kStatusIgnored);
  }
  rig.host.pump(100);
  EXPECT_LE(rig.device.counters().states, states + 1) << "only the song's own STATE changes";
}

TEST(SimFaultsTest, CorruptedAnswersDoNotMatchTheirRequest) {
  for (AnswerFault fault : {AnswerFault::WrongSessionId, AnswerFault::WrongRequestId, AnswerFault::WrongCommand,
                            AnswerFault::Silent}) {
    SCOPED_TRACE(static_cast<int>(fault));
    Rig rig;
    ASSERT_TRUE(rig.host.open(kPath));
    rig.device.faults.corruptAnswer(Command::Hello, fault, 1);
    EXPECT_TRUE(rig.host.command(Command::Hello, 0).empty());
    EXPECT_EQ(rig.host.reports.size(), fault == AnswerFault::Silent ? 0u : 1u) << "it arrived, and was dropped";
    EXPECT_FALSE(rig.host.command(Command::Hello, 0).empty()) << "the fault was used up";
  }
}

TEST(SimFaultsTest, DuplicatedAnswerArrivesTwiceAsTwoTransfers) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  rig.device.faults.corruptAnswer(Command::Hello, AnswerFault::Duplicate, 1);
  EXPECT_FALSE(rig.host.command(Command::Hello, 0).empty());
  rig.host.pump(10);
  ASSERT_EQ(rig.host.answers.size(), 2u);
  EXPECT_EQ(rig.host.answers[0], rig.host.answers[1]);
  EXPECT_NE(readU32(&rig.host.reports[0][kFragmentTransferOffset]),
            readU32(&rig.host.reports[1][kFragmentTransferOffset]));
}

TEST(SimFaultsTest, WireLevelOddities) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  rig.device.faults.corruptAnswer(Command::Hello, AnswerFault::Version21, 1);
  EXPECT_TRUE(rig.host.command(Command::Hello, 0).empty());
  ASSERT_EQ(rig.host.reports.size(), 1u);
  const Report& answer = rig.host.reports[0];
  EXPECT_TRUE(std::equal(kMagic.begin(), kMagic.end(), answer.begin() + kFragmentDataOffset));
  EXPECT_EQ(answer[kFragmentDataOffset + kMajorOffset], 2);
  EXPECT_EQ(answer[kFragmentDataOffset + kMinorOffset], 1);

  rig.device.faults.foreignReport.remaining = 1;
  rig.host.pump(5);
  EXPECT_EQ(rig.host.foreignReports, 1u);

  rig.device.faults.command(Command::OpenSession).silenceAfter = true;
  EXPECT_FALSE(rig.host.command(Command::Hello, 0).empty());
  EXPECT_TRUE(rig.host.command(Command::OpenSession, 0).empty());
  EXPECT_TRUE(rig.host.command(Command::Hello, 0).empty()) << "silent from then on";
  rig.device.faults.silenced = false;
  rig.device.faults.command(Command::OpenSession).silenceAfter = false;
  EXPECT_FALSE(rig.host.command(Command::Hello, 0).empty());
}

TEST(SimFaultsTest, StreamFaults) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  rig.device.faults.orphanFrames = true;
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.pump(1000);
  EXPECT_GT(rig.host.messages[1], 20u);
  EXPECT_TRUE(rig.host.model.frameMessage.empty()) << "no FRAME ever meets its STATE";
  EXPECT_TRUE(rig.host.model.pendingFrame.has_value());
  rig.host.command(Command::RequestState, rig.host.sessionId);
  rig.host.pump(100);
  EXPECT_TRUE(rig.host.model.frameMessage.empty());

  rig.device.faults.orphanFrames = false;
  rig.host.pump(500);
  EXPECT_FALSE(rig.host.model.frameMessage.empty());
  rig.device.faults.streamPaused = true;
  rig.host.pump(100);
  const std::uint64_t frames = rig.host.messages[1];
  rig.host.pump(2000);
  EXPECT_EQ(rig.host.messages[1], frames);
  EXPECT_TRUE(rig.device.streaming()) << "the session stays open";
  EXPECT_EQ(statusOf(rig.host.command(Command::Heartbeat, rig.host.sessionId)), kStatusOk);
}

TEST(SimFaultsTest, FragmentFaultsAreSurvivableAndRepeatable) {
  auto run = [] {
    Rig rig;
    rig.device.fragmentFaults = {0.01, 0.02, 0.02, 0.01, 0x07};
    rig.host.open(kPath);
    rig.host.handshake();
    rig.host.pump(4000);
    EXPECT_GT(rig.device.counters().fragmentsFaulted, 20u);
    EXPECT_GT(rig.host.stream.rejectedCount(), 0u);
    EXPECT_GT(rig.host.shownFrames, 30u) << "most frames still get through";
    return rig.host.reports;
  };
  EXPECT_EQ(run(), run());
}

// ---- Through the session engine -----------------------------------------------

struct EngineCase {
  const char* name;
  std::function<void(SimDevice&)> arm;
  std::string expected;  // lastError after runSession
};

// Test listings name the case instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const EngineCase& c, std::ostream* os) { *os << c.name; }

class SimFaultsEngineTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(SimFaultsEngineTest, EndsWithTheFaultsText) {
  VirtualClock clock;
  SimBus bus(clock);
  SimDevice& device = bus.addDevice(kPath, u"F1");
  GetParam().arm(device);
  ConnectionWorker worker(WaitFunction{}, [](const OutputFrame&) {}, ModelCallback{}, RawReportCallback{},
                          bus.hooks(clock), SerialCallback{}, ResumeCallback{});
  clock.stopAt(clock.now() + 120000);
  worker.runSession(bus.enumerate().at(0), u"F1");
  EXPECT_EQ(worker.lastError, GetParam().expected);
  if (GetParam().expected.empty()) {
    EXPECT_GT(worker.statistics().frames, 3000u);
  }
}

const EngineCase kEngineCases[] = {
    {"HelloNotAcceptedTwice", [](SimDevice& d) { d.faults.answerStatus(Command::Hello, kStatusNotAccepted, kAlways); },
     "Connection Error\nCommand Rejected"},
    {"OpenBusy", [](SimDevice& d) { d.faults.answerStatus(Command::OpenSession, kStatusBusy, kAlways); },
     "Device Busy\nProtocol BUSY"},
    {"HeartbeatUnsupported",
     [](SimDevice& d) { d.faults.answerStatus(Command::Heartbeat, kStatusUnsupported, kAlways); },
     "Unsupported Protocol"},
    {"SilentAfterHeartbeat", [](SimDevice& d) { d.faults.command(Command::Heartbeat).silenceAfter = true; },
     "Response Timeout"},
    {"WrongRequestId",
     [](SimDevice& d) { d.faults.corruptAnswer(Command::OpenSession, AnswerFault::WrongRequestId, kAlways); },
     "Response Timeout"},
    {"Version21", [](SimDevice& d) { d.faults.corruptAnswer(Command::Hello, AnswerFault::Version21, kAlways); },
     "Unsupported Protocol"},
    {"ForeignReport", [](SimDevice& d) { d.faults.foreignReport.remaining = kAlways; }, "Unsupported Protocol"},
    // Answered after the re-send: the late answer still matches, the second
    // one is dropped, and the session carries on.
    {"LateHeartbeatAnswers", [](SimDevice& d) { d.faults.command(Command::Heartbeat).answerDelayMs = 2500; }, ""},
    {"OrphanFrames", [](SimDevice& d) { d.faults.orphanFrames = true; }, "Response Timeout\nLCD Synchronization"},
    {"OpenBusyCode",
     [](SimDevice& d) {
       d.link.openFailureCode = kPlatformCodes.busy;
       d.link.openFailures.remaining = 1;
     },
     "Device Busy\nError " + std::to_string(kPlatformCodes.busy)},
    {"OpenAccessDenied",
     [](SimDevice& d) {
       d.link.openFailureCode = kPlatformCodes.accessDenied;
       d.link.openFailures.remaining = 1;
     },
     "Access Denied\nError " + std::to_string(kPlatformCodes.accessDenied)},
    {"FeatureStuck", [](SimDevice& d) { d.link.featureStuck = true; }, "Connection Error\nFeature I/O Timeout"},
    {"FeatureRefused", [](SimDevice& d) { d.link.featureRefusals.remaining = kAlways; },
     "Connection Error\nFeature Send Failed\nError " + std::to_string(kPlatformCodes.featureFailed)},
    {"PollFails", [](SimDevice& d) { d.link.pollFailures.remaining = kAlways; },
     "Connection Error\nFeature Completion Failed\nError " + std::to_string(kPlatformCodes.io)},
    {"ReadFails", [](SimDevice& d) { d.link.readFailures.remaining = kAlways; },
     "Connection Error\nRead Failed\nError " + std::to_string(kPlatformCodes.io)},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimFaultsEngineTest, ::testing::ValuesIn(kEngineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimFaultsEngineTest, AStreamThatStopsIsNoticedAndAGoneDeviceIsNotRetried) {
  VirtualClock clock;
  SimBus bus(clock);
  SimDevice& device = bus.addDevice(kPath, u"F1");
  std::uint64_t frames = 0;
  ConnectionWorker worker(WaitFunction{}, [&](const OutputFrame&) { ++frames; }, ModelCallback{},
                          RawReportCallback{}, bus.hooks(clock), SerialCallback{}, ResumeCallback{});
  clock.stopWhen([&] {
    if (frames >= 50) device.faults.streamPaused = true;
    return !worker.lastError.empty();
  });
  worker.runSession(bus.enumerate().at(0), u"F1");
  EXPECT_EQ(worker.lastError, "Connection Error\nLCD Stream Stopped");

  clock.clearStop();
  device.faults.streamPaused = false;
  device.link.readFailureCode = kPlatformCodes.gone;
  device.link.readFailures.remaining = kAlways;
  const std::uint64_t commands = device.counters().commands;
  clock.stopAt(clock.now() + 60000);
  worker.runSession(bus.enumerate().at(0), u"F1");
  EXPECT_EQ(worker.lastError, "Connection Error\nRead Failed\nError " + std::to_string(kPlatformCodes.gone));
  EXPECT_LE(device.counters().commands, commands + 2) << "one HELLO (plus one close), no reconnect";
}

}  // namespace
}  // namespace pelmora::sim
