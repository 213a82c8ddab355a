#include "linux/hidraw_discovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "bridge/session_bridge.h"
#include "descriptor_support.h"
#include "linux/hidraw_node_events.h"
#include "temp_dir_support.h"

namespace pelmora {
namespace {

using test::DescriptorShape;
using test::makeDescriptor;

constexpr const char* kOurId = "HID_ID=0003:000039D0:00000101\n";

// /sys/class/hidraw/hidrawN/device/{uevent,report_descriptor} in a scratch
// dir, and beside it the /dev the nodes appear in.
class FakeSysfs {
 public:
  FakeSysfs() { std::filesystem::create_directories(devRoot()); }
  std::string root() const { return dir_ / "hidraw"; }
  std::string devRoot() const { return dir_ / "dev"; }

  void add(int n, const std::string& uevent, std::optional<std::vector<std::uint8_t>> descriptor) {
    const auto device = dir_.path() / "hidraw" / ("hidraw" + std::to_string(n)) / "device";
    test::writeFile(device / "uevent", uevent);
    if (descriptor) {
      test::writeFile(device / "report_descriptor",
                      std::string(descriptor->begin(), descriptor->end()));
    }
  }
  void addOurs(int n, const std::string& serial, const DescriptorShape& shape = {}) {
    add(n, std::string("DRIVER=hid-generic\n") + kOurId + "HID_NAME=Synth\nHID_UNIQ=" + serial + "\n",
        makeDescriptor(shape));
  }
  // In the kernel's order: the sysfs entry, then the node.
  void plug(int n, const std::string& serial) {
    addOurs(n, serial);
    test::writeFile(devRoot() + "/hidraw" + std::to_string(n), "");
  }

  DeviceList enumerate() const { return enumerateHidraw(root(), "/dev"); }

 private:
  test::TempDir dir_;
};

TEST(HidrawDiscovery, NoTreeOrNoDeviceGivesAnEmptyList) {
  EXPECT_TRUE(enumerateHidraw("/nonexistent/pelmora", "/dev").empty());
  FakeSysfs sys;
  sys.add(0, "HID_ID=0003:0000046D:0000C52B\nHID_UNIQ=X\n", makeDescriptor());
  EXPECT_TRUE(sys.enumerate().empty());
}

TEST(HidrawDiscovery, ListsOurDevicesSortedBySerialAndSkipsForeignOnes) {
  FakeSysfs sys;
  sys.addOurs(10, "B2");
  sys.addOurs(2, "A1");
  sys.add(3, "HID_ID=0003:000039D0:00000102\nHID_UNIQ=P\n", makeDescriptor());  // other product
  sys.add(4, "HID_ID=0005:000039D1:00000101\nHID_UNIQ=V\n", makeDescriptor());  // other vendor
  sys.add(5, "HID_UNIQ=C3\n", makeDescriptor());                                // no identity
  sys.add(6, "HID_ID=0003:39D0\nHID_UNIQ=C4\n", makeDescriptor());              // torn identity
  sys.add(7, "HID_ID=0003:zz:0101\nHID_UNIQ=C5\n", makeDescriptor());           // not hexadecimal
  test::writeFile(sys.root() + "/hidrawX/device/uevent", kOurId);               // not a node name
  const DeviceList list = sys.enumerate();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].path, u"/dev/hidraw2");
  EXPECT_EQ(list[0].serial, u"A1");
  EXPECT_EQ(list[0].error, "");
  EXPECT_EQ(list[1].path, u"/dev/hidraw10");
  EXPECT_EQ(list[1].serial, u"B2");
  EXPECT_EQ(list[1].error, "");
}

TEST(HidrawDiscovery, CapabilityMismatchesAreListedWithTheReportSizeText) {
  FakeSysfs sys;
  sys.addOurs(0, "S0", {.inputPayload = 64});
  sys.addOurs(1, "S1", {.featurePayload = 62});
  sys.addOurs(2, "S2", {.usagePage = 0xFF01});
  sys.addOurs(3, "S3", {.usage = 2});
  sys.add(4, std::string(kOurId) + "HID_UNIQ=S4\n", std::vector<std::uint8_t>{0xA1, 0x01});  // unclosed
  sys.add(5, std::string(kOurId) + "HID_UNIQ=S5\n", std::nullopt);  // no descriptor file
  std::vector<std::uint8_t> twoCollections = makeDescriptor();
  const std::vector<std::uint8_t> second = makeDescriptor();
  twoCollections.insert(twoCollections.end(), second.begin(), second.end());
  sys.add(6, std::string(kOurId) + "HID_UNIQ=S6\n", twoCollections);
  sys.add(7, std::string(kOurId) + "HID_UNIQ=S7\n", std::vector<std::uint8_t>(20000, 0x00));  // oversized
  const DeviceList list = sys.enumerate();
  ASSERT_EQ(list.size(), 8u);
  for (const HidDeviceInfo& info : list) {
    EXPECT_EQ(info.error, "Unsupported Protocol\nReport Size") << std::string(info.serial.begin(), info.serial.end());
  }
}

TEST(HidrawDiscovery, SerialRulesApplyAcrossInterfaces) {
  FakeSysfs sys;
  // The synthesizer's usable interface and a second interface of the same
  // device share the serial, so both are duplicates.
  sys.addOurs(0, "D1");
  sys.addOurs(1, "D1", {.usagePage = 0x0001, .usage = 6});
  // Missing and empty serials: the capability error stays when there is one.
  sys.add(2, kOurId, makeDescriptor());
  sys.addOurs(3, "");
  sys.addOurs(4, "", {.inputPayload = 10});
  const DeviceList list = sys.enumerate();
  ASSERT_EQ(list.size(), 5u);
  int duplicates = 0, empties = 0, reportSize = 0;
  for (const HidDeviceInfo& info : list) {
    if (info.error == "Invalid Serial\nDuplicate") ++duplicates;
    if (info.error == "Invalid Serial\nEmpty") ++empties;
    if (info.error == "Unsupported Protocol\nReport Size") ++reportSize;
  }
  EXPECT_EQ(duplicates, 2);
  EXPECT_EQ(empties, 2);
  EXPECT_EQ(reportSize, 1);
}

TEST(HidrawDiscovery, SerialsAreDecodedFromUtf8) {
  FakeSysfs sys;
  sys.addOurs(0, "\xC3\x84-7");   // "Ä-7"
  sys.addOurs(1, "Z\xFF");        // a stray byte
  const DeviceList list = sys.enumerate();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].serial, u"Z\uFFFD");
  EXPECT_EQ(list[1].serial, u"\u00C4-7");
}

TEST(HidrawNodeEvents, HidrawNodeChangesInterruptsAndReportsEndAWaitOtherNodesDoNot) {
  EXPECT_EQ(HidrawNodeEvents::create("/nonexistent/pelmora"), nullptr);
  FakeSysfs sys;
  auto events = HidrawNodeEvents::create(sys.devRoot());
  ASSERT_NE(events, nullptr);
  constexpr std::chrono::milliseconds kShort(30);
  constexpr std::chrono::seconds kLong(10);
  test::writeFile(sys.devRoot() + "/ttyS0", "");
  EXPECT_EQ(events->waitFor(kShort, true), DeviceEventOutcome::Quiet);
  test::writeFile(sys.devRoot() + "/hidraw4", "");
  EXPECT_EQ(events->waitFor(kShort, false), DeviceEventOutcome::Quiet);  // kept for a watching wait
  events->interrupt();  // while nobody waits: not lost, and ahead of the node
  EXPECT_EQ(events->waitFor(kLong, true), DeviceEventOutcome::Interrupted);
  EXPECT_EQ(events->waitFor(kLong, true), DeviceEventOutcome::DevicesChanged);
  std::filesystem::remove(sys.devRoot() + "/hidraw4");
  EXPECT_EQ(events->waitFor(kLong, true), DeviceEventOutcome::DevicesChanged);
  EXPECT_EQ(events->waitFor(kShort, true), DeviceEventOutcome::Quiet);

  // A session's pause also sleeps on the opened node (a pipe here).
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const ReportSignal report{ReportSignal::Kind::descriptor, ends[0]};
  EXPECT_EQ(events->waitFor(kShort, false, report), DeviceEventOutcome::Quiet);
  ASSERT_EQ(write(ends[1], "r", 1), 1);
  events->interrupt();
  EXPECT_EQ(events->waitFor(kLong, false, report), DeviceEventOutcome::Interrupted);
  EXPECT_EQ(events->waitFor(kLong, false, report), DeviceEventOutcome::ReportReady);
  close(ends[0]);
  close(ends[1]);
}

TEST(HidrawNodeEvents, NoDevicePauseSleepsUntilOurNodeAppearsThenFindsItWithin500Ms) {
  using Clock = std::chrono::steady_clock;
  FakeSysfs sys;
  std::atomic<int> scans{0};
  std::atomic<Clock::rep> openedAt{0};
  SessionBridgeOptions options;
  options.hooks.enumerate = [&] {
    ++scans;
    return enumerateHidraw(sys.root(), sys.devRoot());
  };
  options.hooks.createTransport = [&] {
    openedAt = Clock::now().time_since_epoch().count();
    return std::unique_ptr<IHidTransport>();  // ends the worker: it has shown what it found
  };
  options.deviceEvents = HidrawNodeEvents::create(sys.devRoot());
  SessionBridge bridge(std::move(options));
  const auto scansAfter = [&](std::chrono::milliseconds span) {
    std::this_thread::sleep_for(span);
    return scans.load();
  };
  while (scans.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(scansAfter(std::chrono::milliseconds(100)), 1);
  // A foreign node is scanned once; the unchanged list lets "No Device" run on.
  sys.add(1, "HID_ID=0003:0000046D:0000C52B\n", makeDescriptor());
  test::writeFile(sys.devRoot() + "/hidraw1", "");
  EXPECT_EQ(scansAfter(std::chrono::milliseconds(1200)), 2);
  // A resume ends the pause it interrupts and no later one.
  bridge.resume();
  EXPECT_EQ(scansAfter(std::chrono::milliseconds(300)), 3);

  const Clock::time_point pluggedAt = Clock::now();
  sys.plug(2, "A1");
  for (int i = 0; i < 5000 && !bridge.finished(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(bridge.finished());
  const auto found = Clock::time_point(Clock::duration(openedAt.load())) - pluggedAt;
  EXPECT_GE(found, kSettleQuiet);
  EXPECT_LT(found, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace pelmora
