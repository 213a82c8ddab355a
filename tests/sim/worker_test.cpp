// The whole host core, supervisor and session engine, runs against the
// simulator as it would against a real synthesizer; its raw reports can be
// recorded and replayed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "core/protocol/connection_worker.h"
#include "sim/capture.h"
#include "sim/sim_bus.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"

namespace pelmora::sim {
namespace {

constexpr const char16_t* kPath = u"/dev/hidraw2";
constexpr std::uint64_t kSafetyMs = 120000;

struct WorkerRig {
  explicit WorkerRig(const DeviceConfig& config = {}) : device(bus.addDevice(kPath, u"SIM-0001", config)) {}

  std::unique_ptr<ConnectionWorker> makeWorker(RawReportCallback onRaw = nullptr) {
    return std::make_unique<ConnectionWorker>(
        WaitFunction{}, [this](const OutputFrame&) { ++frames; }, ModelCallback{}, std::move(onRaw),
        bus.hooks(clock), [this](const std::u16string& s) { serials.push_back(s); }, ResumeCallback{});
  }

  VirtualClock clock;
  SimBus bus{clock};
  SimDevice& device;
  std::uint64_t frames = 0;
  std::vector<std::u16string> serials;
};

TEST(SimWorkerTest, TheHostCoreStreamsFromTheSimulator) {
  WorkerRig rig;
  auto worker = rig.makeWorker();
  const std::uint64_t start = rig.clock.now();
  rig.clock.stopAt(start + 20000);
  worker->run();
  const WorkerStatistics& stats = worker->statistics();
  EXPECT_EQ(stats.sessions, 1u);
  EXPECT_EQ(stats.failures, 0u) << worker->lastError;
  EXPECT_GT(stats.frames, 500u);
  EXPECT_GT(stats.states, 1u);
  EXPECT_GT(stats.images, 64u);
  EXPECT_GE(stats.heartbeats, 18u);
  EXPECT_GT(rig.frames, 500u);
  EXPECT_TRUE(worker->hasShownFrame);
  ASSERT_FALSE(rig.serials.empty());
  EXPECT_EQ(rig.serials.front(), u"SIM-0001");
  EXPECT_EQ(rig.device.counters().sessionsClosed, 1u) << "a stop closes the session";
}

TEST(SimWorkerTest, UnplugEndsTheSessionWithReadFailed) {
  WorkerRig rig;
  auto worker = rig.makeWorker();
  rig.clock.stopWhen([&] {
    if (rig.frames == 100 && rig.bus.isPlugged(kPath)) rig.bus.unplug(kPath);
    return !worker->lastError.empty();
  });
  rig.clock.stopAt(rig.clock.now() + kSafetyMs);
  worker->run();
  EXPECT_EQ(worker->lastError.rfind("Connection Error\nRead Failed\nError ", 0), 0u) << worker->lastError;
  EXPECT_TRUE(rig.serials.back().empty()) << "the serial is withdrawn";
}

TEST(SimWorkerTest, ARecordedSessionReplaysToTheSameReports) {
  WorkerRig rig;
  CaptureRecorder recorder([&] { return rig.clock.now(); });
  auto worker = rig.makeWorker(recorder.observer());
  rig.clock.stopAt(rig.clock.now() + 3000);
  worker->run();
  worker.reset();
  const Capture& recorded = recorder.capture();
  ASSERT_GT(recorded.size(), 500u);

  const auto file = std::filesystem::temp_directory_path() / "pelmora_sim_capture_test.bin";
  ASSERT_TRUE(saveCapture(file.string(), recorded));
  const auto loaded = loadCapture(file.string());
  std::filesystem::remove(file);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(*loaded, recorded);

  VirtualClock clock(5);
  SimBus bus(clock);
  auto player = std::make_shared<CapturePlayer>(*loaded);
  bus.addEndpoint(u"replay", u"R1", player);
  SimTransport transport(bus);
  clock.advance(1234);
  ASSERT_TRUE(transport.open(u"replay"));
  std::vector<Report> replayed;
  Report report{};
  bool received = false;
  for (int ms = 0; ms < 10000 && replayed.size() < recorded.size(); ++ms) {
    clock.advance(1);
    while (transport.readReport(report.data(), received) && received) replayed.push_back(report);
  }
  ASSERT_EQ(replayed.size(), recorded.size());
  for (std::size_t i = 0; i < replayed.size(); ++i) ASSERT_EQ(replayed[i], recorded[i].report) << i;
  EXPECT_TRUE(player->finished());
}

TEST(SimWorkerTest, ACaptureIsReadWholeOrNotAtAll) {
  Capture capture(3);
  for (std::size_t i = 0; i < capture.size(); ++i) {
    capture[i].timeMs = 0x1'0000'0000ull + i;
    capture[i].report.fill(static_cast<std::uint8_t>(i + 1));
  }
  auto bytes = serializeCapture(capture);
  ASSERT_EQ(bytes.size(), kCaptureHeaderLength + 3 * kCaptureRecordLength);
  EXPECT_EQ(parseCapture(bytes), capture);
  EXPECT_FALSE(parseCapture(std::span(bytes).first(bytes.size() - 1)).has_value()) << "torn record";
  auto wrongVersion = bytes;
  wrongVersion[8] = 2;
  EXPECT_FALSE(parseCapture(wrongVersion).has_value());
  EXPECT_FALSE(parseCapture(std::span(bytes).first(10)).has_value());
  EXPECT_FALSE(loadCapture("/nonexistent/capture.bin").has_value());
}

}  // namespace
}  // namespace pelmora::sim
