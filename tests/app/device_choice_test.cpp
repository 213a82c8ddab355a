// `--serial` and `--list`: choosing one synthesizer among several, and
// telling the user which ones they may open and how to fix it when not.
#include <gtest/gtest.h>

#include "linux/app/device_filter.h"
#include "linux/app/device_listing.h"

namespace pelmora::app {
namespace {

const DeviceList kDevices = {
    {u"/dev/hidraw1", u"A1", ""},
    {u"/dev/hidraw2", u"B2", ""},
    {u"/dev/hidraw3", u"B2", "Invalid Serial\nDuplicate"},
    {u"/dev/hidraw4", u"", "Invalid Serial\nEmpty"},
};

TEST(DeviceChoice, TheSerialKeepsOnlyItsOwnRecordsWithTheirVerdicts) {
  const DeviceList a1 = onlySerial(kDevices, u"A1");
  ASSERT_EQ(a1.size(), 1u);
  EXPECT_EQ(a1[0].path, u"/dev/hidraw1");
  const DeviceList b2 = onlySerial(kDevices, u"B2");
  ASSERT_EQ(b2.size(), 2u) << "a duplicate stays a duplicate after filtering";
  EXPECT_EQ(b2[1].error, "Invalid Serial\nDuplicate");
  EXPECT_TRUE(onlySerial(kDevices, u"a1").empty()) << "serials are compared exactly";

  SessionBridgeOptions options;
  options.hooks.enumerate = [] { return kDevices; };
  showOnlySerial(options, u"A1");
  EXPECT_EQ(options.hooks.enumerate().size(), 1u);
  ASSERT_TRUE(options.scan) << "the long pauses' device scan is filtered too";
  EXPECT_EQ(options.scan().size(), 1u);
}

TEST(DeviceChoice, TheListingSaysWhoMayOpenWhatAndHowToFixIt) {
  const AccessProbe probe = [](const std::string& node) {
    return node == "/dev/hidraw1" ? DeviceAccess::Denied : DeviceAccess::Busy;
  };
  const std::string listing = deviceListing(kDevices, probe);
  EXPECT_EQ(listing.substr(0, listing.find("\n\n")),
            "SERIAL  NODE          STATUS\n"
            "A1      /dev/hidraw1  Access Denied\n"
            "B2      /dev/hidraw2  Device Busy\n"
            "B2      /dev/hidraw3  Invalid Serial: Duplicate\n"
            "-       /dev/hidraw4  Invalid Serial: Empty");
  EXPECT_NE(listing.find("sudo udevadm control --reload-rules"), std::string::npos);
  EXPECT_NE(listing.find("Device Busy: another program"), std::string::npos);
  const std::string nothing = deviceListing({}, probe);
  EXPECT_TRUE(nothing.starts_with("No synthesizer found."));
  for (const char* hint : {"cable", "dmesg", "udev rule"}) EXPECT_NE(nothing.find(hint), std::string::npos) << hint;
  const std::string ready = deviceListing({kDevices[0]}, [](const std::string&) { return DeviceAccess::Ready; });
  EXPECT_EQ(ready.find("Access Denied"), std::string::npos) << "no fix where nothing is wrong";
}

}  // namespace
}  // namespace pelmora::app
