// `--record` and `--replay`: what a session read, written as it arrives,
// shows the same LCD frames when the file is played back as a device; and a
// capture file that is cut short, foreign or corrupt is refused or trimmed,
// never trusted.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "linux/app/capture_source.h"
#include "linux/app/report_recorder.h"
#include "sim/capture_reader.h"
#include "sim/sim_bus.h"

namespace pelmora::app {
namespace {

constexpr std::uint64_t kSafetyMs = 120000;

// The LCD frames a worker delivers (status screens left out), as hashes.
struct FrameLog {
  std::vector<std::size_t> frames;
  bool nextIsLcd = false;

  std::unique_ptr<ConnectionWorker> worker(ConnectionHooks hooks) {
    return std::make_unique<ConnectionWorker>(
        WaitFunction{},
        [this](const OutputFrame& frame) {
          if (nextIsLcd) frames.push_back(std::hash<std::string_view>{}(
                             {reinterpret_cast<const char*>(frame.data()), frame.size() * sizeof frame[0]}));
          nextIsLcd = false;
        },
        [this](const LcdModel&, const LcdCanvas&) { nextIsLcd = true; }, RawReportCallback{}, std::move(hooks),
        SerialCallback{}, ResumeCallback{});
  }
};

std::string scratchFile(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid()))).string();
}

TEST(CaptureReplay, ARecordedSessionReplaysToTheSameFrames) {
  const std::string file = scratchFile("pelmora_record_");
  FrameLog live;
  {
    sim::VirtualClock clock;
    sim::SimBus bus(clock);
    bus.addDevice(u"/dev/hidraw0", u"SN1");
    SessionBridgeOptions options;
    options.hooks = bus.hooks(clock);
    std::string error;
    auto recorder = ReportRecorder::create(file, error);
    ASSERT_TRUE(recorder) << error;
    recordReports(options, *recorder);
    auto worker = live.worker(std::move(options.hooks));
    clock.stopAt(clock.now() + 4000);
    worker->run();
    recorder->finish();
    EXPECT_EQ(recorder->dropped(), 0u);
    EXPECT_EQ(recorder->writeError(), "");
  }
  ASSERT_GT(live.frames.size(), 50u);

  sim::CaptureReadResult read = sim::readCaptureFile(file);
  std::filesystem::remove(file);
  ASSERT_TRUE(read.capture) << read.error;
  sim::VirtualClock clock(77);
  sim::SimBus bus(clock);
  auto replayer = std::make_shared<sim::CaptureReplayer>(std::move(*read.capture));
  bus.addEndpoint(kReplayPath, kReplaySerial, replayer);
  FrameLog replayed;
  auto worker = replayed.worker(replayHooks(bus, clock, replayer));
  clock.stopWhen([&] { return !bus.isPlugged(kReplayPath); });
  clock.stopAt(clock.now() + kSafetyMs);
  worker->run();
  EXPECT_FALSE(bus.isPlugged(kReplayPath)) << "the device goes once the capture has played";
  EXPECT_EQ(replayed.frames, live.frames);
}

TEST(CaptureReplay, ACaptureIsTrimmedOrRefusedNeverTrusted) {
  sim::Capture capture(3);
  for (std::size_t i = 0; i < capture.size(); ++i) capture[i].timeMs = 1000 + i;
  const std::vector<std::uint8_t> good = sim::serializeCapture(capture);
  auto with = [&](auto change) {
    std::vector<std::uint8_t> bytes = good;
    change(bytes);
    return sim::readCapture(bytes);
  };
  const auto torn = with([](auto& b) { b.resize(b.size() - 30); });
  ASSERT_TRUE(torn.capture);
  EXPECT_EQ(torn.capture->size(), 2u);
  EXPECT_EQ(torn.tornBytes, sim::kCaptureRecordLength - 30);

  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
    const char* error;
  } refused[] = {
      {"empty file", [](auto& b) { b.clear(); }, "not a capture file (too short for its header)"},
      {"header only", [](auto& b) { b.resize(sim::kCaptureHeaderLength); }, "the capture holds no reports"},
      {"header and a torn record", [](auto& b) { b.resize(sim::kCaptureHeaderLength + 5); },
       "the capture holds no reports"},
      {"foreign magic", [](auto& b) { b[0] = 'X'; }, "not a capture file"},
      {"newer version", [](auto& b) { b[8] = 2; }, "a capture of another version or report length"},
      {"other report length", [](auto& b) { b[12] = 65; }, "a capture of another version or report length"},
      {"time going back", [](auto& b) { b[sim::kCaptureHeaderLength + sim::kCaptureRecordLength] = 0; },
       "corrupt capture: record 2 is older than the one before it"},
  };
  for (const auto& c : refused) {
    const auto result = with(c.change);
    EXPECT_FALSE(result.capture) << c.what;
    EXPECT_EQ(result.error, c.error) << c.what;
  }
  EXPECT_EQ(sim::readCaptureFile("/nonexistent/x.cap").error,
            "cannot open /nonexistent/x.cap: No such file or directory");
}

TEST(CaptureReplay, AnUnwritableRecordingIsRefusedAtStart) {
  std::string error;
  EXPECT_FALSE(ReportRecorder::create("/nonexistent/x.cap", error));
  EXPECT_EQ(error, "cannot create /nonexistent/x.cap: No such file or directory");
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_FALSE(ReportRecorder::create("/dev/full", error));
    EXPECT_EQ(error, "cannot write /dev/full: No space left on device");
  }
}

}  // namespace
}  // namespace pelmora::app
