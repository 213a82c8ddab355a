// The simulated synthesizer behaves like the device a host is written for:
// its answers match their requests, and everything it streams passes the
// host's own reassembly, validation and display model.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/protocol/byte_order.h"
#include "core/render/lcd_canvas.h"
#include "core/render/lcd_renderer.h"
#include "host_driver.h"

namespace pelmora::sim {
namespace {

constexpr const char16_t* kPath = u"/dev/hidraw0";

struct Rig : SimRig {
  explicit Rig(const DeviceConfig& config = {}) : SimRig(kPath, u"SN1", config) {}
};

TEST(SimDeviceTest, AnswersEveryCommandAsTheHostExpects) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  const auto hello = rig.host.command(Command::Hello, 0);
  ASSERT_FALSE(hello.empty());
  EXPECT_EQ(checkHello(hello.data(), hello.size()), kHelloOk);

  const auto open1 = rig.host.command(Command::OpenSession, 0);
  ASSERT_EQ(open1.size(), kOpenSessionLength);
  const std::uint32_t first = readU32(&open1[kOpenSessionIdOffset]);
  EXPECT_NE(first, 0u);
  const auto open2 = rig.host.command(Command::OpenSession, 0);
  ASSERT_EQ(open2.size(), kOpenSessionLength);
  const std::uint32_t second = readU32(&open2[kOpenSessionIdOffset]);
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first) << "every session gets a fresh id";
  EXPECT_EQ(rig.device.sessionId(), second);

  EXPECT_EQ(statusOf(rig.host.command(Command::Heartbeat, second)), kStatusOk);
  EXPECT_EQ(statusOf(rig.host.command(Command::RequestState, second)), kStatusOk);
  // The replaced session is unknown to the device now.
  EXPECT_EQ(statusOf(rig.host.command(Command::Heartbeat, first)), kStatusRejected1);
  EXPECT_EQ(statusOf(rig.host.command(Command::CloseSession, second)), kStatusOk);
  EXPECT_EQ(rig.device.sessionId(), 0u);
  EXPECT_EQ(statusOf(rig.host.command(Command::RequestState, second)), kStatusRejected1);
  EXPECT_EQ(statusOf(rig.host.command(Command::CloseSession, second)), kStatusRejected1);

  for (const auto& answer : rig.host.answers) {
    EXPECT_TRUE(validateMessage(static_cast<std::uint8_t>(MessageKind::Response), answer.data(), answer.size()));
  }
}

TEST(SimDeviceTest, CommandsThatAreNotCommandsGoUnanswered) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  Report report = buildCommand(static_cast<std::uint8_t>(Command::Hello), 1, 0);
  report[0] = 3;
  ASSERT_TRUE(rig.host.transport().sendFeature(report.data()));
  report = buildCommand(static_cast<std::uint8_t>(Command::Hello), 2, 0);
  report[kCommandMagicOffset] = 'X';
  ASSERT_TRUE(rig.host.transport().sendFeature(report.data()));
  report = buildCommand(static_cast<std::uint8_t>(Command::Hello), 3, 0);
  report[kCommandCodeOffset] = 9;
  ASSERT_TRUE(rig.host.transport().sendFeature(report.data()));
  rig.host.pump(20);
  EXPECT_TRUE(rig.host.reports.empty());

  report = buildCommand(static_cast<std::uint8_t>(Command::Hello), 4, 0);
  report[kCommandMinorOffset] = 1;
  ASSERT_TRUE(rig.host.transport().sendFeature(report.data()));
  rig.host.pump(20);
  ASSERT_EQ(rig.host.answers.size(), 1u);
  EXPECT_EQ(statusOf(rig.host.answers[0]), kStatusUnsupported);
}

// Every page, with and without debug lines: all messages decode, and the
// model ends up showing a frame of that page that the renderer can draw.
TEST(SimDeviceTest, EveryPageStreamsDecodableFrames) {
  auto canvas = std::make_unique<LcdCanvas>();
  for (int mode = 0; mode < static_cast<int>(kModeCount); ++mode) {
    for (bool debug : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " debug " << debug);
      DeviceConfig config;
      config.fixedMode = mode;
      config.debugLines = debug;
      config.seed = 100 + static_cast<std::uint64_t>(mode);
      Rig rig(config);
      ASSERT_TRUE(rig.host.open(kPath));
      ASSERT_NE(rig.host.handshake(), 0u);
      rig.host.pump(1500);
      EXPECT_EQ(rig.host.stream.rejectedCount(), 0u);
      EXPECT_EQ(rig.host.responses.rejectedCount(), 0u);
      EXPECT_TRUE(rig.host.transferNumbersIncrease);
      EXPECT_GE(rig.host.shownFrames, 40u) << "about 30 frames per second";
      EXPECT_EQ(rig.device.counters().framesSkipped, 0u);
      ASSERT_FALSE(rig.host.model.frameMessage.empty());
      EXPECT_EQ(rig.host.model.frameMessage[kFrameModeOffset], mode);
      EXPECT_EQ((rig.host.model.frameMessage[kFrameFlagsOffset] & kFlagDebugLines) != 0, debug);
      EXPECT_TRUE(renderLcd(*canvas, rig.host.model));
      EXPECT_LE(rig.host.maxReportsInOneMs, 1u);
      if (mode == static_cast<int>(Mode::Picture)) {
        for (const auto& row : rig.host.model.imageRowSeq) EXPECT_EQ(row.valid, 1u);
        const auto& image = rig.host.model.image;
        EXPECT_GT(std::count_if(image.begin(), image.end(), [](std::uint16_t p) { return p != 0; }), 2000);
      }
      if (mode == static_cast<int>(Mode::PianoRoll) || mode == static_cast<int>(Mode::Spectrum)) {
        EXPECT_EQ(rig.host.model.historySeqValid, 1u) << "history samples arrive";
      }
    }
  }
}

TEST(SimDeviceTest, CyclesThroughAllPagesWithIncreasingSequences) {
  DeviceConfig config;
  config.modeCycleMs = 700;
  Rig rig(config);
  ASSERT_TRUE(rig.host.open(kPath));
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.pump(5500);
  EXPECT_TRUE(rig.host.modesShown.all()) << rig.host.modesShown;
  const std::uint32_t stateSeq = rig.host.model.stateSeq;
  const std::uint32_t frameSeq = rig.host.model.frameSeq;
  rig.host.pump(8000);
  EXPECT_GT(sequenceDelta(rig.host.model.stateSeq, stateSeq), 0) << "the STATE moves on with the song";
  EXPECT_GT(sequenceDelta(rig.host.model.frameSeq, frameSeq), 200);
  EXPECT_TRUE(rig.host.transferNumbersIncrease);
  EXPECT_EQ(rig.host.stream.rejectedCount(), 0u);
}

TEST(SimDeviceTest, SequenceNumbersWrapWithoutAHitch) {
  DeviceConfig config;
  config.sequenceStart = 0xFFFFFFFEu;
  config.modeCycleMs = 1000;
  Rig rig(config);
  ASSERT_TRUE(rig.host.open(kPath));
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.pump(9000);
  EXPECT_LT(rig.host.model.frameSeq, 1000u) << "frame numbers went through 0";
  EXPECT_LT(rig.host.model.stateSeq, 10u) << "state numbers went through 0";
  EXPECT_NE(rig.host.model.stateSeq, 0u);
  EXPECT_GT(rig.host.shownFrames, 250u);
  EXPECT_TRUE(rig.host.modesShown.all());
  EXPECT_EQ(rig.host.stream.rejectedCount(), 0u);
}

TEST(SimDeviceTest, RequestStateSendsTheStateAgain) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.pump(200);
  const std::uint64_t states = rig.device.counters().states;
  EXPECT_EQ(statusOf(rig.host.command(Command::RequestState, rig.host.sessionId)), kStatusOk);
  rig.host.pump(50);
  EXPECT_EQ(rig.device.counters().states, states + 1);
  EXPECT_EQ(rig.host.model.stateSeq, rig.device.stateSeq());
}

TEST(SimDeviceTest, SessionEndsWhenHeartbeatsStop) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.pump(4000);
  EXPECT_TRUE(rig.device.streaming()) << "heartbeats keep it alive";
  rig.host.keepAlive = false;
  rig.host.pump(6000);
  EXPECT_EQ(rig.device.sessionId(), 0u);
  EXPECT_EQ(rig.device.counters().sessionsExpired, 1u);
  const std::uint64_t frames = rig.host.messages[1];
  rig.host.pump(1000);
  EXPECT_EQ(rig.host.messages[1], frames) << "no stream without a session";
  EXPECT_EQ(statusOf(rig.host.command(Command::Heartbeat, rig.host.sessionId)), kStatusRejected1);
}

TEST(SimDeviceTest, APowerCycleForgetsTheSession) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  const std::uint32_t session = rig.host.handshake();
  ASSERT_NE(session, 0u);
  rig.host.pump(100);
  rig.bus.unplug(kPath);
  rig.bus.replug(kPath);
  ASSERT_TRUE(rig.host.transport().close(0));
  ASSERT_TRUE(rig.host.open(kPath));
  EXPECT_EQ(rig.device.sessionId(), 0u);
  EXPECT_EQ(statusOf(rig.host.command(Command::Heartbeat, session)), kStatusRejected1);
  EXPECT_NE(rig.host.handshake(), 0u);
}

TEST(SimDeviceTest, AHostThatDoesNotReadLosesReportsNotTheDevice) {
  Rig rig;
  ASSERT_TRUE(rig.host.open(kPath));
  ASSERT_NE(rig.host.handshake(), 0u);
  rig.host.reading = false;
  rig.host.pump(3000);
  EXPECT_LE(rig.device.pipe().hostQueued(), InputPipe::kDefaultHostCapacity);
  EXPECT_GT(rig.device.pipe().counters().droppedAtHost, 0u);
  rig.host.reading = true;
  rig.host.pump(1000);
  EXPECT_GT(rig.host.shownFrames, 20u) << "the stream recovers once the host reads again";
}

TEST(SimDeviceTest, SameSeedSameReports) {
  auto run = [](std::uint64_t seed) {
    DeviceConfig config;
    config.seed = seed;
    config.modeCycleMs = 500;
    Rig rig(config);
    rig.host.open(kPath);
    rig.host.handshake();
    rig.host.pump(3000);
    return rig.host.reports;
  };
  const auto a = run(7);
  EXPECT_EQ(a, run(7));
  EXPECT_NE(a, run(8));
}

}  // namespace
}  // namespace pelmora::sim
