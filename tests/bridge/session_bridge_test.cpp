#include "bridge/session_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "bridge_support.h"
#include "core/render/status_screen.h"
#include "sim/demo_synth.h"

namespace pelmora {
namespace {

using std::chrono::milliseconds;
using test::eventually;

// Bounds leave room for the sanitizers; the waits themselves work in 20 ms
// slices.
constexpr milliseconds kPrompt(500);
constexpr milliseconds kPatience(5000);

// A device list the test thread may change while the worker reads it.
class FakeDevices {
 public:
  void set(DeviceList list) {
    std::lock_guard lock(mutex_);
    list_ = std::move(list);
  }
  DeviceList get() {
    ++reads_;
    std::lock_guard lock(mutex_);
    return list_;
  }
  int reads() const { return reads_; }
  std::function<DeviceList()> function() {
    return [this] { return get(); };
  }

 private:
  std::mutex mutex_;
  DeviceList list_;
  std::atomic<int> reads_{0};
};

// The demo synthesizer: a session whose picture changes with every frame.
SessionBridgeOptions demoStream() {
  SessionBridgeOptions options;
  options.hooks = sim::demoHooks();
  return options;
}

SessionBridgeOptions withFakes(FakeDevices& devices,
                               std::function<std::unique_ptr<IHidTransport>()> createTransport = {}) {
  SessionBridgeOptions options;
  options.hooks.enumerate = devices.function();
  options.hooks.createTransport = std::move(createTransport);
  return options;
}

TEST(SessionBridge, FrameConversionIsRgbaAndIgnoresTheTopByte) {
  auto frame = std::make_unique<OutputFrame>();
  (*frame)[0] = 0x00FF8000;
  (*frame)[1] = 0xAB123456;
  (*frame)[kPixelCount - 1] = 0x00000001;
  std::vector<std::uint8_t> rgba(kRgbaFrameBytes);
  frameToRgba(*frame, rgba.data());
  EXPECT_EQ((std::vector<std::uint8_t>(rgba.begin(), rgba.begin() + 8)),
            (std::vector<std::uint8_t>{0xFF, 0x80, 0x00, 0xFF, 0x12, 0x34, 0x56, 0xFF}));
  EXPECT_EQ((std::vector<std::uint8_t>(rgba.end() - 4, rgba.end())), (std::vector<std::uint8_t>{0, 0, 1, 0xFF}));
  EXPECT_EQ(kRgbaFrameBytes, 217600u);
}

TEST(SessionBridge, NoDeviceScreenIsTakenOnceAndStopEndsTheLongPause) {
  FakeDevices devices;
  SessionBridge bridge(withFakes(devices));
  std::vector<std::uint8_t> rgba(kRgbaFrameBytes, 0x5A);
  ASSERT_TRUE(eventually([&] { return bridge.takePixels(rgba.data()); }, kPatience));
  EXPECT_EQ(rgba[3], 0xFF);
  // The worker now sits in its 10 s "No Device" pause: no second frame.
  EXPECT_FALSE(bridge.takePixels().has_value());
  EXPECT_EQ(bridge.serial(), u"");
  EXPECT_FALSE(bridge.finished());

  const auto stopAt = std::chrono::steady_clock::now();
  bridge.stop();
  bridge.stop();  // a second stop changes nothing
  ASSERT_TRUE(eventually([&] { return bridge.finished(); }, kPatience));
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, kPrompt);
  EXPECT_EQ(devices.reads(), 1);
}

// With nothing swapped in, the platform's discovery, transport and clock
// serve the worker; a machine without the synthesizer shows "No Device".
TEST(SessionBridge, PlatformDefaultsServeAWorkerWithoutHooks) {
  SessionBridge bridge;
  EXPECT_TRUE(eventually([&] { return bridge.takePixels().has_value(); }, kPatience));
  test::stopAndWait(bridge);
  EXPECT_TRUE(bridge.finished());
}

// Once replaced, a listener may be destroyed at once: the stream keeps
// delivering frames, and a late call would touch freed memory.
TEST(SessionBridge, ReplacedListenerIsNeverCalledAgain) {
  SessionBridge bridge(demoStream());
  for (int round = 0; round < 5; ++round) {
    auto told = std::make_unique<std::atomic<int>>(0);
    bridge.setChangeListener([counter = told.get()] { ++*counter; });
    ASSERT_TRUE(eventually([&] { return *told > 0; }, kPatience));
    bridge.setChangeListener({});
    told.reset();
  }
  test::stopAndWait(bridge);
}

// A host that receives frames itself gets the one still waiting at once and
// every later one instead of the takes; once it lets go, the takes serve
// again and its receiver is never called again.
TEST(SessionBridge, FrameReceiverReplacesTheTakesUntilRemoved) {
  SessionBridge bridge(demoStream());
  // Told once a frame is stored; nothing takes it, so one is waiting.
  std::atomic<bool> stored{false};
  bridge.setChangeListener([&stored] { stored = true; });
  ASSERT_TRUE(eventually([&] { return stored.load(); }, kPatience));
  bridge.setChangeListener({});
  auto received = std::make_unique<std::atomic<int>>(0);
  bridge.setFrameReceiver([counter = received.get()](const OutputFrame&) { ++*counter; });
  EXPECT_GE(*received, 1);  // the waiting frame, handed over at once
  ASSERT_TRUE(eventually([&] { return *received >= 3; }, kPatience));
  auto frame = std::make_unique<OutputFrame>();
  EXPECT_FALSE(bridge.takeFrame(*frame));
  bridge.setFrameReceiver({});
  received.reset();
  EXPECT_TRUE(eventually([&] { return bridge.takeFrame(*frame); }, kPatience));
  test::stopAndWait(bridge);
}

TEST(SessionBridge, ReleasingTheBridgeStopsTheWorkerWhichThenFreesTheState) {
  FakeDevices devices;
  std::weak_ptr<const SessionBridgeState> state;
  {
    SessionBridge bridge(withFakes(devices));
    state = bridge.watchState();
    ASSERT_TRUE(eventually([&] { return devices.reads() > 0; }, kPatience));
  }
  EXPECT_TRUE(eventually([&] { return state.expired(); }, kPatience));
}

// Each round draws "No Device" again; the host, which has that picture
// already, is not woken for it.
TEST(SessionBridge, ResumeDuringNoDeviceRepeatsTheRoundEverySliceButNotThePicture) {
  FakeDevices devices;
  SessionBridge bridge(withFakes(devices));
  std::atomic<int> told{0};
  bridge.setChangeListener([&told] { ++told; });
  ASSERT_TRUE(eventually([&] { return devices.reads() == 1 && told == 1; }, kPatience));
  bridge.resume();
  // No session attempt takes the flag, so every pause ends after one slice.
  EXPECT_TRUE(eventually([&] { return devices.reads() >= 6; }, milliseconds(2000)));
  EXPECT_EQ(told, 1);
  // A host that changes how it receives frames gets the next one anyway.
  int received = 0;
  bridge.setFrameReceiver([&received](const OutputFrame&) { ++received; });
  bridge.setFrameReceiver({});
  auto frame = std::make_unique<OutputFrame>();
  EXPECT_TRUE(eventually([&] { return bridge.takeFrame(*frame); }, kPatience));
  EXPECT_EQ((*frame)[0], 0u);  // the status screen's black corner
  bridge.setChangeListener({});
  test::stopAndWait(bridge);
}

TEST(SessionBridge, DeviceArrivalEndsTheNoDevicePauseWithinAScan) {
  FakeDevices devices;
  SessionBridge bridge(withFakes(devices));
  ASSERT_TRUE(eventually([&] { return devices.reads() == 1; }, kPatience));
  ASSERT_TRUE(eventually([&] { return bridge.takePixels().has_value(); }, kPatience));
  // A listed device that cannot be used: the worker shows its text rather
  // than opening anything.
  devices.set({{u"/dev/hidraw3", u"", "Invalid Serial\nEmpty"}});
  const auto pluggedAt = std::chrono::steady_clock::now();
  // The scan (every 500 ms) sees the change, the pause ends, the supervisor
  // enumerates again and shows the device's error.
  ASSERT_TRUE(eventually([&] { return bridge.takePixels().has_value(); }, kPatience));
  EXPECT_LT(std::chrono::steady_clock::now() - pluggedAt, milliseconds(500) + kPrompt);
  test::stopAndWait(bridge);
}

TEST(SessionBridge, WorkerEndedByAnExceptionShowsItsMessageAndCountsAFailure) {
  FakeDevices devices;
  devices.set({{u"/dev/hidraw0", u"S1", ""}});
  SessionBridge bridge(withFakes(devices, [] { return std::unique_ptr<IHidTransport>(); }));
  ASSERT_TRUE(eventually([&] { return bridge.finished(); }, kPatience));

  const SessionStatistics s = bridge.statistics();
  EXPECT_EQ(s.failures, 1u);
  EXPECT_EQ(s.frames + s.states + s.images + s.sessions + s.heartbeats, 0u);

  auto expected = std::make_unique<OutputFrame>();
  const char* text = "Transport allocation failed";
  drawStatusScreen(*expected, text, std::strlen(text), false);
  std::vector<std::uint8_t> expectedRgba(kRgbaFrameBytes);
  frameToRgba(*expected, expectedRgba.data());
  const auto taken = bridge.takePixels();
  ASSERT_TRUE(taken.has_value());
  EXPECT_TRUE(*taken == expectedRgba);
  EXPECT_FALSE(bridge.takePixels().has_value());
}

TEST(SessionBridge, WorkerEndedByAForeignThrowCountsAFailureWithoutAPicture) {
  FakeDevices devices;
  devices.set({{u"/dev/hidraw0", u"S1", ""}});
  SessionBridge bridge(withFakes(devices, []() -> std::unique_ptr<IHidTransport> { throw 42; }));
  ASSERT_TRUE(eventually([&] { return bridge.finished(); }, kPatience));
  EXPECT_EQ(bridge.statistics().failures, 1u);
  EXPECT_FALSE(bridge.takePixels().has_value());
}

// A trace shown at its recorded pace: its serial and frames come as a live
// session's, its end comes no sooner than recorded and leaves the last
// picture, and a stop ends a replay at once.
TEST(SessionBridge, ReplayKeepsTheRecordedPaceAndStopsAtOnce) {
  const std::string dir = PELMORA_TRACE_DIR;
  const trace::Recording shortTrace = trace::readRecordingFile(dir + "/mac_unplug.trace");
  const trace::Recording longTrace = trace::readRecordingFile(dir + "/windows_session.trace");
  ASSERT_EQ(shortTrace.kind, trace::RecordingKind::trace) << shortTrace.error;
  ASSERT_EQ(longTrace.kind, trace::RecordingKind::trace) << longTrace.error;
  const trace::ReplayResult unpaced = trace::replayTrace(shortTrace);

  SessionBridgeOptions options;
  options.replay = &shortTrace;
  const auto start = std::chrono::steady_clock::now();
  SessionBridge paced(options);
  std::u16string serial;
  ASSERT_TRUE(eventually([&] { return paced.takeSerial(serial); }, kPatience));
  EXPECT_FALSE(serial.empty());
  EXPECT_FALSE(paced.replayResult());
  ASSERT_TRUE(eventually([&] { return paced.finished(); }, kPatience));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(unpaced.endMs));
  ASSERT_TRUE(paced.replayResult());
  EXPECT_TRUE(paced.replayResult()->complete);
  EXPECT_EQ(paced.replayResult()->frameHashes, unpaced.frameHashes);
  OutputFrame last;
  ASSERT_TRUE(paced.takeFrame(last));
  EXPECT_EQ(trace::frameHash(last), unpaced.frameHashes.back());

  options.replay = &longTrace;
  SessionBridge stopped(options);
  ASSERT_TRUE(eventually([&] { return stopped.takeSerial(serial); }, kPatience));
  stopped.stop();
  ASSERT_TRUE(eventually([&] { return stopped.finished(); }, kPrompt));
  EXPECT_TRUE(stopped.replayResult()->stopped);
}

}  // namespace
}  // namespace pelmora
