#include "linux/hidraw_discovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "descriptor_support.h"
#include "temp_dir_support.h"

namespace pelmora {
namespace {

using test::DescriptorShape;
using test::makeDescriptor;

constexpr const char* kOurId = "HID_ID=0003:000039D0:00000101\n";

// /sys/class/hidraw/hidrawN/device/{uevent,report_descriptor} in a scratch dir.
class FakeSysfs {
 public:
  std::string root() const { return dir_ / "hidraw"; }

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

}  // namespace
}  // namespace pelmora
