// The synthesizer behind a real USB stack: a HID gadget on the dummy host
// controller, found and served by usbhid.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "core/transport/platform.h"
#include "gadget_synth.h"
#include "host_worker_support.h"
#include "linux/utf16_conversion.h"

namespace pelmora::test {
namespace {

constexpr useconds_t kUnplugBeforeHeartbeatUs = 950000;

TEST(KernelGadget, UsbhidListsTheGadgetAndASessionStreamsUntilItLeavesTheBus) {
  GadgetSynth gadget("KG-G");
  ASSERT_TRUE(waitFor([] { return enumerateDevices().size() == 1; }, 5000));
  const DeviceList list = enumerateDevices();
  EXPECT_EQ(list[0].serial, u"KG-G");
  EXPECT_EQ(list[0].error, "");

  HostWorker worker;
  const bool connected = waitFor([&] { return worker.serial() == u"KG-G"; }, 10000);
  const std::uint64_t features = gadget.featureReports();
  EXPECT_GT(features, 0u);  // SET_REPORT reached the gadget's function
  ASSERT_TRUE(connected);
  EXPECT_TRUE(waitFor([&] { return worker.framesRendered() >= 30; }, 5000));

  // Off the bus: the session fails (a read with EIO, or a feature transfer
  // that was under way, whose code the host controller chooses), lets go of
  // the device and shows "No Device", never "Open Failed". Pulled just before
  // a heartbeat is due, which then likely meets the dying link (EPROTO).
  const std::uint64_t reached = gadget.featureReports();
  EXPECT_TRUE(waitFor([&] { return gadget.featureReports() > reached; }, 2000));
  usleep(kUnplugBeforeHeartbeatUs);
  const std::uint64_t unplugged = steadyMs();
  gadget.unplug();
  EXPECT_TRUE(waitFor([&] { return !worker.errors().empty(); }, 3000));
  EXPECT_TRUE(waitFor([&] { return worker.serial().empty(); }, 500));
  EXPECT_TRUE(waitFor([&] { return worker.errorSeenAt(kTextNoDevice) != 0; }, 3000));
  for (const TimedText& e : worker.errors()) EXPECT_FALSE(e.text.starts_with("Open Failed")) << e.text;
  EXPECT_LE(worker.stop(), 1900u);
  const WorkerStatistics& s = worker.statistics();
  EXPECT_EQ(s.sessions, 1u);
  std::printf("gadget: %llu feature reports reached the gadget; %llu frames, %llu heartbeats, largest loop gap %llu ms\n",
              static_cast<unsigned long long>(gadget.featureReports()), static_cast<unsigned long long>(s.frames),
              static_cast<unsigned long long>(s.heartbeats), static_cast<unsigned long long>(s.maxLoopGapMs));
  for (const TimedText& e : worker.errors()) {
    std::printf("worker: +%lld ms: %s\n", static_cast<long long>(e.atMs - unplugged), e.text.c_str());
  }
}

}  // namespace
}  // namespace pelmora::test
