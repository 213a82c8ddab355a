// The session engine over the Windows transport, on a scripted system: what
// a user sees when the system's I/O fails.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "fake_win32.h"
#include "windows/hid_transport.h"
#include "worker_harness.h"

namespace pelmora {
namespace {

using testing::FakeWin32;
using testing::pendingIo;

const HidDeviceInfo kDevice{u"\\\\?\\hid#vid_39d0&pid_0101#s1", u"S1", ""};

struct Rig {
  Rig() {
    ConnectionHooks hooks;
    hooks.createTransport = [this] { return std::make_unique<HidTransport>(fake.api()); };
    hooks.now = [this] { return static_cast<std::uint64_t>(fake.tick); };
    hooks.wait = [this](std::uint32_t ms) {
      fake.tick += ms;
      return false;
    };
    hooks.sleep = [this](std::uint32_t ms) { fake.tick += ms; };
    harness = std::make_unique<testing::WorkerHarness>(hooks);
  }
  FakeWin32 fake;
  std::unique_ptr<testing::WorkerHarness> harness;
};

TEST(WindowsSession, AnUnpluggedDeviceEndsTheSessionWithItsCode) {
  Rig rig;
  rig.fake.reads = {pendingIo(0, 0, ERROR_DEVICE_NOT_CONNECTED)};
  const std::string text = "Connection Error\nRead Failed\nError 1167";
  rig.harness->addKnownText(text);
  rig.harness->worker().runSession(kDevice, kDevice.serial);
  EXPECT_EQ(rig.harness->statusSequence(), (std::vector<std::string>{"Connecting...", text}))
      << "the device has gone: no reconnect in place";
  EXPECT_EQ(rig.harness->worker().statistics().failures, 1u);
  EXPECT_EQ(rig.fake.deviceHandlesOpen, 0);
}

// A cancelled transfer that ends within moments leaves the reconnect quiet;
// only one that stays is shown.
TEST(WindowsSession, OnlyASlowCancellationIsShownAndAllAreWaitedFor) {
  for (const int latency : {3, 2 * static_cast<int>(kCancelSettleMs)}) {
    Rig rig;
    rig.fake.features = {pendingIo(-1)};  // HELLO stays queued at the driver
    rig.fake.reads = {pendingIo(0, 0, ERROR_GEN_FAILURE)};
    rig.fake.cancelLatency = latency;
    rig.harness->addKnownText("Connection Error\nRead Failed\nError 31");
    rig.harness->stopAt(rig.fake.tick + 2000);
    rig.harness->worker().runSession(kDevice, kDevice.serial);
    SCOPED_TRACE(rig.harness->dump());
    std::vector<std::string> shown{"Connecting...", "Reconnecting..."};
    if (latency > static_cast<int>(kCancelSettleMs)) shown.push_back("Connection Error\nI/O Cancellation Pending");
    EXPECT_EQ(rig.harness->statusSequence(), shown);
    EXPECT_EQ(rig.harness->worker().lastError, "Connection Error\nRead Failed\nError 31");
    EXPECT_EQ(rig.fake.deviceHandlesOpen, 0) << "the stop's close waited for the cancelled read too";
  }
}

TEST(WindowsSession, EventsThatCannotBeMadeEndTheWorker) {
  Rig rig;
  rig.fake.eventFailsAt = 2;
  try {
    rig.harness->worker().runSession(kDevice, kDevice.serial);
    ADD_FAILURE() << "the session went on without its transport";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "HID event allocation");
  }
  EXPECT_EQ(rig.fake.eventsOpen, 0);
}

}  // namespace
}  // namespace pelmora
