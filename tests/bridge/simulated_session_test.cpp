// The bridge in front of the simulated synthesizer on the real clock: what a
// host sees of a whole session.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "bridge/session_bridge.h"
#include "bridge_support.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"
#include "sim/forwarding_transport.h"

namespace pelmora {
namespace {

using std::chrono::milliseconds;
using test::eventually;

// The machine running the tests may be busy; this only bounds a hang.
constexpr milliseconds kPatience(30000);

// Passes everything through until the test raises `failNow`; then its next
// read throws, as any fault outside the link would.
class FailingTransport final : public sim::ForwardingTransport {
 public:
  FailingTransport(std::unique_ptr<IHidTransport> inner, const std::atomic<bool>& failNow)
      : ForwardingTransport(std::move(inner)), failNow_(failNow) {}
  bool readReport(std::uint8_t* report, bool& received) override {
    if (failNow_) throw std::runtime_error("Renderer Fault");
    return inner_->readReport(report, received);
  }

 private:
  const std::atomic<bool>& failNow_;
};

// The bus and its clock belong to the worker thread while the bridge runs;
// the test touches them only before the start and after `finished`.
class SimulatedSession : public ::testing::Test {
 protected:
  void start(const sim::DeviceConfig& config, bool failWhenAsked = false) {
    bus_.addDevice(u"sim0", u"SIM1", config);
    SessionBridgeOptions options;
    options.hooks = bus_.hooks();
    if (failWhenAsked) {
      options.hooks.createTransport = [this, inner = options.hooks.createTransport] {
        return std::make_unique<FailingTransport>(inner(), failNow_);
      };
    }
    bridge_ = std::make_unique<SessionBridge>(std::move(options));
  }
  void TearDown() override {
    if (bridge_) test::stopAndWait(*bridge_);
  }
  bool streaming() {
    return eventually([&] { return bridge_->serial() == u"SIM1"; }, kPatience);
  }
  int framesTakenWithin(milliseconds span) {
    int taken = 0;
    std::vector<std::uint8_t> rgba(kRgbaFrameBytes);
    eventually([&] { taken += bridge_->takePixels(rgba.data()) ? 1 : 0; return false; }, span);
    return taken;
  }

  bool framesArrive(int count) {
    std::vector<std::uint8_t> rgba(kRgbaFrameBytes);
    return eventually([&] { return (count -= bridge_->takePixels(rgba.data()) ? 1 : 0) <= 0; }, kPatience);
  }

  std::atomic<bool> failNow_{false};
  sim::RealClock clock_;
  sim::SimBus bus_{clock_};
  std::unique_ptr<SessionBridge> bridge_;
};

TEST_F(SimulatedSession, StreamsAndPublishesCountersOnlyOnceFinished) {
  sim::DeviceConfig config;
  config.fixedMode = static_cast<int>(Mode::Channels);
  config.debugLines = true;
  start(config);
  ASSERT_TRUE(streaming());
  EXPECT_TRUE(framesArrive(4));

  const SessionStatistics running = bridge_->statistics();
  EXPECT_EQ(running.frames + running.states + running.sessions + running.heartbeats, 0u);
  EXPECT_EQ(running.modes, 1u << 5);
  EXPECT_EQ(running.debugStates, 2u);
  EXPECT_NE(running.languages, 0u);
  EXPECT_EQ(running.languages & ~3u, 0u);

  const auto stopAt = std::chrono::steady_clock::now();
  bridge_->stop();
  ASSERT_TRUE(eventually([&] { return bridge_->finished(); }, kPatience));
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, milliseconds(1000));

  const SessionStatistics done = bridge_->statistics();
  EXPECT_GT(done.frames, 0u);
  EXPECT_GT(done.states, 0u);
  EXPECT_EQ(done.sessions, 1u);
  EXPECT_GE(done.heartbeats, 1u);
  EXPECT_EQ(done.failures, 0u);
  EXPECT_EQ(done.modes, running.modes);
  EXPECT_EQ(bridge_->serial(), u"");
  // A stopped session shows no final status screen.
  (void)bridge_->takePixels();
  EXPECT_FALSE(bridge_->takePixels().has_value());
  EXPECT_EQ(bus_.device(u"sim0")->counters().sessionsClosed, 1u);
}

// A host woken by the listener takes exactly what changed: each serial once,
// frames as words, and nothing when nothing is new.
TEST_F(SimulatedSession, ListenerIsToldOfFramesAndSerialsWhichAreTakenOnce) {
  std::atomic<int> told{0};
  start({});
  bridge_->setChangeListener([&told] { ++told; });
  std::u16string serial = u"stale";
  ASSERT_TRUE(eventually([&] { return bridge_->takeSerial(serial); }, kPatience));
  EXPECT_EQ(serial, u"SIM1");
  EXPECT_FALSE(bridge_->takeSerial(serial));

  auto frame = std::make_unique<OutputFrame>();
  const int toldBefore = told;
  ASSERT_TRUE(eventually([&] { return told > toldBefore && bridge_->takeFrame(*frame); }, kPatience));
  EXPECT_TRUE(std::any_of(frame->begin(), frame->end(), [](std::uint32_t w) { return w != 0; }));
  EXPECT_TRUE(std::all_of(frame->begin(), frame->end(), [](std::uint32_t w) { return w <= 0xFFFFFF; }));

  test::stopAndWait(*bridge_);
  ASSERT_TRUE(bridge_->takeSerial(serial));
  EXPECT_EQ(serial, u"");
  bridge_->setChangeListener({});
}

TEST_F(SimulatedSession, ResumeIsTakenOnceAndReconnectsInPlace) {
  start({});
  ASSERT_TRUE(streaming());
  bridge_->resume();
  // "Power Resume" ends the attempt; the in-place reconnect streams again
  // (a second resume notice would end that one too, and the session).
  (void)framesTakenWithin(milliseconds(1000));
  EXPECT_TRUE(framesArrive(4));
  test::stopAndWait(*bridge_);
  const SessionStatistics done = bridge_->statistics();
  EXPECT_EQ(done.sessions, 2u);
  EXPECT_EQ(done.failures, 1u);
}

// A worker that ends by an exception in the middle of a session no longer
// uses the device, so the host must not keep showing its serial.
TEST_F(SimulatedSession, WorkerFailingMidSessionForgetsTheSerial) {
  start({}, true);
  ASSERT_TRUE(streaming());
  failNow_ = true;
  ASSERT_TRUE(eventually([&] { return bridge_->finished(); }, kPatience));
  EXPECT_EQ(bridge_->serial(), u"");
  EXPECT_EQ(bridge_->statistics().failures, 1u);
  EXPECT_TRUE(bridge_->takePixels().has_value());
}

}  // namespace
}  // namespace pelmora
