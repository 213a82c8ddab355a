// The simulated transport and bus keep every promise of the transport
// interface, because the session engine relies on each of them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/protocol/byte_order.h"
#include "core/protocol/wire_format.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::sim {
namespace {

class SimTransportTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  SimBus bus{clock};
  SimDevice& device = bus.addDevice(u"/dev/hidraw3", u"SN-0001");

  static Report hello(std::uint32_t requestId) {
    return buildCommand(static_cast<std::uint8_t>(Command::Hello), requestId, 0);
  }
};

TEST_F(SimTransportTest, OpenIsExclusiveAndFailuresCarryTheirCodes) {
  auto first = bus.createTransport();
  auto second = bus.createTransport();
  ASSERT_TRUE(first->open(u"/dev/hidraw3"));
  EXPECT_FALSE(second->open(u"/dev/hidraw3"));
  EXPECT_EQ(second->errorCode(), bus.codes.busy);

  bus.codes.busy = 32;  // settable, e.g. to another platform's sharing violation
  EXPECT_FALSE(second->open(u"/dev/hidraw3"));
  EXPECT_EQ(second->errorCode(), 32u);

  EXPECT_TRUE(first->close(0));
  EXPECT_TRUE(second->open(u"/dev/hidraw3"));
  EXPECT_EQ(second->errorCode(), 0u) << "open clears the error code";

  auto third = bus.createTransport();
  EXPECT_FALSE(third->open(u"/dev/hidraw9"));
  EXPECT_EQ(third->errorCode(), bus.codes.notFound);

  EXPECT_TRUE(second->close(0));
  device.link.openFailureCode = kPlatformCodes.accessDenied;
  device.link.openFailures.remaining = 2;
  EXPECT_FALSE(third->open(u"/dev/hidraw3"));
  EXPECT_EQ(third->errorCode(), kPlatformCodes.accessDenied);
  EXPECT_FALSE(third->open(u"/dev/hidraw3"));
  EXPECT_TRUE(third->open(u"/dev/hidraw3"));
}

TEST_F(SimTransportTest, ErrorCodeSticksUntilReopenAndUnplugMeansGone) {
  auto t = bus.createTransport();
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  std::uint8_t report[kReportLength];
  bool received = true;
  EXPECT_TRUE(t->readReport(report, received));
  EXPECT_FALSE(received);

  device.link.readFailures.remaining = 1;
  device.link.readFailureCode = kPlatformCodes.io;
  EXPECT_FALSE(t->readReport(report, received));
  EXPECT_EQ(t->errorCode(), kPlatformCodes.io);
  EXPECT_FALSE(t->poll()) << "the code sticks although the fault is used up";
  EXPECT_FALSE(t->readReport(report, received));

  EXPECT_TRUE(t->close(0));
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  EXPECT_TRUE(t->poll());

  bus.unplug(u"/dev/hidraw3");
  EXPECT_FALSE(t->readReport(report, received));
  EXPECT_EQ(t->errorCode(), bus.codes.gone);
  bus.replug(u"/dev/hidraw3");
  EXPECT_FALSE(t->poll()) << "a handle from before the unplug stays dead";
  EXPECT_TRUE(t->close(0));
  EXPECT_TRUE(t->open(u"/dev/hidraw3"));
  EXPECT_TRUE(t->poll());
}

TEST_F(SimTransportTest, OneFeatureTransferInFlightAndCloseWaitsForIt) {
  device.link.featureDelayMs = 5;
  auto t = bus.createTransport();
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  ASSERT_TRUE(t->sendFeature(hello(1).data()));
  EXPECT_TRUE(t->isFeaturePending());
  clock.advance(4);
  EXPECT_TRUE(t->poll());
  EXPECT_TRUE(t->isFeaturePending());
  EXPECT_EQ(device.counters().commands, 0u);
  clock.advance(1);
  EXPECT_TRUE(t->poll());
  EXPECT_FALSE(t->isFeaturePending());
  EXPECT_EQ(device.counters().commands, 1u) << "the device sees the report when the transfer completes";

  ASSERT_TRUE(t->sendFeature(hello(2).data()));
  EXPECT_FALSE(t->sendFeature(hello(3).data()));
  EXPECT_EQ(t->errorCode(), bus.codes.featureBusy);
  EXPECT_FALSE(t->close(0)) << "a transfer is outstanding";
  EXPECT_TRUE(t->close(0)) << "its cancellation has taken effect";
  EXPECT_EQ(device.counters().commands, 1u) << "a cancelled transfer never reaches the device";

  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  device.link.featureStuck = true;
  ASSERT_TRUE(t->sendFeature(hello(4).data()));
  clock.advance(100000);
  EXPECT_TRUE(t->poll());
  EXPECT_TRUE(t->isFeaturePending());
  EXPECT_FALSE(t->close(0));
  EXPECT_TRUE(t->close(0)) << "a stuck transfer can still be cancelled";
  device.link.featureStuck = false;

  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  device.link.closeRefusals.remaining = 2;
  EXPECT_FALSE(t->close(0));
  EXPECT_FALSE(t->close(0));
  EXPECT_TRUE(t->close(0));
  EXPECT_TRUE(t->close(0)) << "closing a closed transport succeeds";
}

TEST_F(SimTransportTest, RefusedFeatureSendSetsTheCode) {
  auto t = bus.createTransport();
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  device.link.featureRefusals.remaining = 1;
  EXPECT_FALSE(t->sendFeature(hello(1).data()));
  EXPECT_EQ(t->errorCode(), device.link.featureFailureCode);
  EXPECT_FALSE(t->isFeaturePending());
}

TEST_F(SimTransportTest, ReportsArriveOnePerMillisecondInOrderAndCloseForgetsThem) {
  auto t = bus.createTransport();
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  // The HELLO answer takes one report; three duplicates make three.
  device.faults.corruptAnswer(Command::Hello, AnswerFault::Duplicate, 1);
  ASSERT_TRUE(t->sendFeature(hello(7).data()));
  std::uint8_t report[kReportLength];
  bool received = false;
  EXPECT_TRUE(t->readReport(report, received));
  EXPECT_FALSE(received) << "nothing arrives before the next millisecond";
  clock.advance(1);
  ASSERT_TRUE(t->readReport(report, received));
  ASSERT_TRUE(received);
  const std::uint32_t first = readU32(report + kFragmentTransferOffset);
  ASSERT_TRUE(t->readReport(report, received));
  EXPECT_FALSE(received) << "one report per millisecond";
  clock.advance(1);
  ASSERT_TRUE(t->readReport(report, received));
  ASSERT_TRUE(received);
  EXPECT_EQ(readU32(report + kFragmentTransferOffset), first + 1);

  ASSERT_TRUE(t->sendFeature(hello(9).data()));
  clock.advance(5);
  EXPECT_TRUE(t->close(0));
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  EXPECT_TRUE(t->readReport(report, received));
  EXPECT_FALSE(received) << "undelivered reports are forgotten on close";
}

TEST_F(SimTransportTest, EnumerationSortsAndAppliesTheSerialRules) {
  bus.addDevice(u"/dev/hidraw1", u"SN-0000");
  bus.addDevice(u"/dev/hidraw5", u"DUP");
  bus.addDevice(u"/dev/hidraw6", u"DUP");
  bus.addFaultyEntry(u"/dev/hidraw7", u"ZZ", "Unsupported Protocol\nReport Size");
  DeviceList list = bus.enumerate();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].serial, u"DUP");
  EXPECT_EQ(list[0].error, "Invalid Serial\nDuplicate");
  EXPECT_EQ(list[1].error, "Invalid Serial\nDuplicate");
  EXPECT_EQ(list[2].path, u"/dev/hidraw1");
  EXPECT_EQ(list[3].path, u"/dev/hidraw3");
  EXPECT_TRUE(list[3].error.empty());
  EXPECT_EQ(list[4].error, "Unsupported Protocol\nReport Size");

  bus.unplug(u"/dev/hidraw5");
  list = bus.enumerate();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_TRUE(list[0].error.empty()) << "the other DUP is no longer a duplicate";
  bus.replug(u"/dev/hidraw5", u"/dev/hidraw8");
  list = bus.enumerate();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_TRUE(list[0].path == u"/dev/hidraw8" || list[1].path == u"/dev/hidraw8");
}

TEST_F(SimTransportTest, HooksAreWiredToBusAndClock) {
  ConnectionHooks hooks = bus.hooks(clock);
  EXPECT_EQ(hooks.now(), clock.now());
  EXPECT_EQ(hooks.enumerate().size(), 1u);
  auto t = hooks.createTransport();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(bus.liveTransports(), 1);
  ASSERT_TRUE(t->open(u"/dev/hidraw3"));
  ASSERT_TRUE(t->sendFeature(hello(1).data()));
  const std::uint64_t before = clock.now();
  EXPECT_FALSE(hooks.wait(10));
  EXPECT_EQ(clock.now(), before + 10);
  EXPECT_EQ(device.now(), clock.now()) << "a wait lets the device live through the time";
  EXPECT_EQ(device.pipe().hostQueued(), 1u);
  clock.stopAt(before + 15);
  EXPECT_TRUE(hooks.wait(100));
  EXPECT_EQ(clock.now(), before + 15) << "the stop cuts the wait short";
  EXPECT_TRUE(hooks.wait(0));
  t.reset();
  EXPECT_EQ(bus.liveTransports(), 0);
  EXPECT_FALSE(device.held()) << "destroying the transport lets go of the device";
}

}  // namespace
}  // namespace pelmora::sim

namespace pelmora::sim {
namespace {

// The demo runs the simulator on the steady clock, with a wait of its own:
// the devices then catch up whenever the transport is used.
TEST(SimRealClockTest, DevicesFollowTheSteadyClockAndStopCutsWaitsShort) {
  RealClock clock;
  SimBus bus(clock);
  bus.addDevice(u"demo", u"D1");
  auto t = bus.createTransport();
  ASSERT_TRUE(t->open(u"demo"));
  ASSERT_TRUE(t->sendFeature(buildCommand(static_cast<std::uint8_t>(Command::Hello), 1, 0).data()));
  Report report{};
  bool received = false;
  const std::uint64_t start = clock.now();
  while (!received && clock.now() - start < 2000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(t->readReport(report.data(), received));
  }
  ASSERT_TRUE(received);
  EXPECT_EQ(report[kFragmentKindOffset], static_cast<std::uint8_t>(MessageKind::Response));

  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    clock.requestStop();
  });
  const std::uint64_t before = clock.now();
  EXPECT_TRUE(clock.wait(60000));
  stopper.join();
  EXPECT_LT(clock.now() - before, 10000u);
  EXPECT_TRUE(clock.wait(0));
  clock.clearStop();
  EXPECT_FALSE(clock.wait(1));
}

}  // namespace
}  // namespace pelmora::sim
