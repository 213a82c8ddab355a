#include "bridge/device_watching_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace pelmora {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Generous bounds: the sanitizers and a shared machine slow everything down.
constexpr auto kSliceBound = milliseconds(150);

struct Scans {
  std::atomic<int> count{0};
  std::atomic<bool> devicePresent{false};
  DeviceScan function() {
    return [this] {
      ++count;
      DeviceList list;
      if (devicePresent) list.push_back({u"/dev/hidraw0", u"A1", ""});
      return list;
    };
  }
};

template <typename F>
milliseconds timed(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(DeviceWatchingWait, StopEndsAWaitWithinASliceAndZeroOnlyPolls) {
  auto state = std::make_shared<SessionBridgeState>();
  Scans scans;
  DeviceWatchingWait wait(state, scans.function());
  EXPECT_FALSE(wait(0));
  EXPECT_LT(timed([&] { EXPECT_FALSE(wait(30)); }), kSliceBound);

  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(50));
    state->stopRequested = true;
    state->wake.notify_all();
  });
  const milliseconds took = timed([&] { EXPECT_TRUE(wait(10000)); });
  stopper.join();
  EXPECT_LT(took, milliseconds(50) + kSliceBound);
  EXPECT_TRUE(wait(0));
  EXPECT_TRUE(wait(10000));  // once stopped, every wait returns at once
}

TEST(DeviceWatchingWait, PendingResumeCutsEveryWaitToOneSliceAndStaysSet) {
  auto state = std::make_shared<SessionBridgeState>();
  Scans scans;
  DeviceWatchingWait wait(state, scans.function());
  std::thread resumer([&] {
    std::this_thread::sleep_for(milliseconds(50));
    state->resumeRequested = true;
    state->wake.notify_all();
  });
  EXPECT_LT(timed([&] { EXPECT_FALSE(wait(10000)); }), milliseconds(50) + kSliceBound);
  resumer.join();
  for (int i = 0; i < 3; ++i) {
    const milliseconds took = timed([&] { EXPECT_FALSE(wait(10000)); });
    EXPECT_LT(took, kSliceBound);
  }
  EXPECT_TRUE(state->resumeRequested);
}

TEST(DeviceWatchingWait, OnlyWaitsOfAtLeast101MsScanAndAtMostEvery500Ms) {
  auto state = std::make_shared<SessionBridgeState>();
  Scans scans;
  scans.devicePresent = true;  // differs from the empty list before the first scan
  DeviceWatchingWait wait(state, scans.function());
  for (int i = 0; i < 7; ++i) wait(100);  // 700 ms of short waits
  EXPECT_EQ(scans.count, 0);

  // The next long wait scans at once, sees the change and ends early.
  EXPECT_LT(timed([&] { EXPECT_FALSE(wait(10000)); }), kSliceBound);
  EXPECT_EQ(scans.count, 1);

  // Unchanged lists let the wait run on; the next scan is over 500 ms later.
  const milliseconds took = timed([&] { wait(400); });
  EXPECT_GE(took, milliseconds(400));
  EXPECT_EQ(scans.count, 1);
  scans.devicePresent = false;  // unplugged
  EXPECT_LT(timed([&] { wait(10000); }), milliseconds(100) + kSliceBound);
  EXPECT_EQ(scans.count, 2);
}

TEST(DeviceWatchingWait, ListsDifferByLengthPathOrSerialButNotByError) {
  const DeviceList base = {{u"/dev/hidraw0", u"A1", ""}, {u"/dev/hidraw1", u"B2", ""}};
  DeviceList other = base;
  other[1].error = "Invalid Serial\nEmpty";
  EXPECT_TRUE(sameDevices(base, other));
  other = base;
  other[1].path = u"/dev/hidraw2";
  EXPECT_FALSE(sameDevices(base, other));
  other = base;
  other[0].serial = u"a1";
  EXPECT_FALSE(sameDevices(base, other));
  other = base;
  other.pop_back();
  EXPECT_FALSE(sameDevices(base, other));
  EXPECT_TRUE(sameDevices({}, {}));
}

}  // namespace
}  // namespace pelmora
