// Whole sessions through the IOKit transport, on the simulated IOKit, with
// the simulated synthesizer behind it.
#include <gtest/gtest.h>

#include <chrono>

#include "Pelmora_mac/hid_transport.h"
#include "core/transport/platform.h"
#include "sim/virtual_clock.h"
#include "sim_link_support.h"
#include "worker_harness.h"

namespace pelmora {
namespace {

using testing::WorkerHarness;

class MacSession : public ::testing::Test {
 protected:
  MacSession() {
    fake_iokit::reset();
    fake_iokit::setClock([this] { return static_cast<double>(clock.now()) / 1000.0; });
    bus.addDevice(u"/sim/S1", u"S1");
    link = std::make_unique<testing::SimIokitLink>(bus, u"/sim/S1", fake_iokit::DeviceSpec{.serial = u"S1"});
    ConnectionHooks hooks = bus.hooks(clock);
    hooks.enumerate = enumerateDevices;
    hooks.createTransport = [] { return std::make_unique<HidTransport>(); };
    harness = std::make_unique<WorkerHarness>(std::move(hooks));
    t0 = clock.now();
  }
  void TearDown() override {
    harness.reset();
    EXPECT_EQ(fake_iokit::problems(), std::vector<std::string>{});
    fake_iokit::reset();
  }
  void runSession() {
    const DeviceList list = enumerateDevices();
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(list[0].error, "");
    harness->worker().runSession(list[0], list[0].serial);
  }

  sim::VirtualClock clock;
  sim::SimBus bus{clock};
  std::unique_ptr<testing::SimIokitLink> link;
  std::unique_ptr<WorkerHarness> harness;
  std::uint64_t t0 = 0;
};

TEST_F(MacSession, StreamsFramesAndSaysGoodbye) {
  harness->stopAt(t0 + 10000);
  runSession();
  const auto& stats = harness->worker().statistics();
  EXPECT_GT(harness->lcdFrames(), 50u);
  EXPECT_EQ(stats.sessions, 1u);
  EXPECT_EQ(stats.failures, 0u);
  EXPECT_GE(stats.heartbeats, 8u);
  EXPECT_EQ(harness->serialSequence(), (std::vector<std::string>{"S1", ""}));
  EXPECT_FALSE(fake_iokit::isOpen(link->entryId()));
  const auto calls = fake_iokit::setReportCalls(link->entryId());
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().report[7], static_cast<std::uint8_t>(Command::CloseSession));
}

// The removal reaches the transport in the run-loop slice of `poll`, before
// any read: the session ends at once, forgets the serial and does not try
// to reopen a device that is not there.
TEST_F(MacSession, UnplugEndsTheSessionWithoutReconnecting) {
  harness->at(t0 + 3000, [this] { bus.unplug(u"/sim/S1"); });
  harness->stopAt(t0 + 60000);
  const std::string text = "Connection Error\nFeature Completion Failed\nError 3758097088";
  harness->addKnownText(text);
  runSession();
  SCOPED_TRACE(harness->dump());
  EXPECT_EQ(harness->stoppedAt(), 0u) << "runSession ended by itself";
  EXPECT_EQ(harness->worker().lastError, text);
  EXPECT_EQ(harness->countStatus("Reconnecting..."), 0u);
  EXPECT_EQ(harness->statusSequence().back(), text);
  EXPECT_EQ(harness->serialSequence().back(), "");
  EXPECT_EQ(harness->worker().statistics().failures, 1u);
}

// A device that stops acknowledging feature reports holds a stopping worker
// up for the one-second transfer time-out, not longer.
TEST_F(MacSession, StopWithAnUnacknowledgedTransferFinishesWithinASecond) {
  fake_iokit::setClock([] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  });
  harness->at(t0 + 3000, [this] { fake_iokit::setTransfers(link->entryId(), {.hold = true}); });
  harness->stopAt(t0 + 3500);
  const auto start = std::chrono::steady_clock::now();
  runSession();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(harness->lcdFrames(), 0u);
  EXPECT_LT(took, std::chrono::seconds(10)) << "bounded by the time-out, with room for a busy machine";
}

}  // namespace
}  // namespace pelmora
