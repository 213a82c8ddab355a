// Discovery through the simulated HID manager, the path format both sides
// share, and the platform's code tables.
#include <gtest/gtest.h>

#include <map>

#include "Pelmora_mac/hid_discovery.h"
#include "core/transport/platform.h"
#include "fake_iokit/fake_iokit_control.h"

namespace pelmora {
namespace {

class MacDiscovery : public ::testing::Test {
 protected:
  MacDiscovery() { fake_iokit::reset(); }
  void TearDown() override {
    EXPECT_EQ(fake_iokit::problems(), std::vector<std::string>{});
    fake_iokit::reset();
  }
  // serial -> error, for lists whose serials are all different
  static std::map<std::u16string, std::string> bySerial(const DeviceList& list) {
    std::map<std::u16string, std::string> result;
    for (const auto& d : list) result[d.serial] = d.error;
    return result;
  }
};

TEST_F(MacDiscovery, AsksOnlyForTheSynthesizerAndNamesItByRegistryId) {
  EXPECT_TRUE(enumerateDevices().empty());
  fake_iokit::addDevice({.vendorId = 0x39D1, .serial = u"V"});
  fake_iokit::addDevice({.productId = 0x0102, .serial = u"P"});
  fake_iokit::addDevice({.usagePage = 0xFF01, .serial = u"G"});
  fake_iokit::addDevice({.usage = 2, .serial = u"U"});
  const std::uint64_t id = fake_iokit::addDevice({.serial = u"S1"});
  const DeviceList list = enumerateDevices();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, registryEntryPath(id));
  EXPECT_EQ(list[0].serial, u"S1");
  EXPECT_EQ(list[0].error, "");

  fake_iokit::failManagerCreate(true);
  EXPECT_TRUE(enumerateDevices().empty());
}

TEST_F(MacDiscovery, ReportSizesAndSerialsDecideTheError) {
  fake_iokit::addDevice({.serial = u"A1"});
  fake_iokit::addDevice({.serial = u"A1"});
  fake_iokit::addDevice({.maxFeatureReportSize = 65, .serial = u"F65"});
  fake_iokit::addDevice({.maxInputReportSize = 63, .serial = u"I63"});
  fake_iokit::addDevice({.maxInputReportSize = std::nullopt, .serial = u"NoInput"});
  fake_iokit::addDevice({.maxFeatureReportSize = 0x100000040, .serial = u"Wide"});
  fake_iokit::addDevice({.serial = u"\u00e9t\u00e9 \U0001F3B9"});
  const DeviceList list = enumerateDevices();
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list[0].error, "Invalid Serial\nDuplicate");
  EXPECT_EQ(list[1].error, "Invalid Serial\nDuplicate");
  const auto errors = bySerial(list);
  EXPECT_EQ(errors.at(u"F65"), "Unsupported Protocol\nReport Size");
  EXPECT_EQ(errors.at(u"I63"), "Unsupported Protocol\nReport Size");
  EXPECT_EQ(errors.at(u"NoInput"), "Unsupported Protocol\nReport Size");
  EXPECT_EQ(errors.at(u"Wide"), "Unsupported Protocol\nReport Size") << "64 in the low 32 bits only";
  EXPECT_EQ(errors.at(u"\u00e9t\u00e9 \U0001F3B9"), "") << "every code unit kept";
}

// A serial that is missing or not a string is empty, and on macOS an empty
// serial replaces whatever error the record had.
TEST_F(MacDiscovery, MissingSerialIsEmptyAndReplacesOtherErrors) {
  fake_iokit::addDevice({.serial = std::nullopt});
  fake_iokit::addDevice({.maxFeatureReportSize = 63, .serialIsNumber = true});
  const DeviceList list = enumerateDevices();
  ASSERT_EQ(list.size(), 2u);
  for (const auto& d : list) {
    EXPECT_EQ(d.serial, u"");
    EXPECT_EQ(d.error, "Invalid Serial\nEmpty");
  }
}

TEST_F(MacDiscovery, OneRecordPerRegistryEntry) {
  const std::uint64_t id = fake_iokit::addDevice({.serial = u"Twice"});
  fake_iokit::addDevice({.serial = u"Twice"}, id);
  fake_iokit::failEntryIdRead(fake_iokit::addDevice({.serial = u"NoId"}));
  const DeviceList list = enumerateDevices();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, registryEntryPath(id));
  EXPECT_EQ(list[0].error, "") << "not a duplicate serial: the same device";
}

TEST(MacDevicePath, DecimalRegistryIdsOnly) {
  const std::pair<std::u16string, std::uint64_t> cases[] = {
      {u"4294970929", 4294970929u},
      {u"18446744073709551615", UINT64_MAX},
      {u"18446744073709551616", 0},  // does not fit
      {u"", 0},
      {u"12a", 0},
      {u"-1", 0},
      {u" 1", 0},
      {u"\u0131", 0},  // a unit whose low byte is a digit
  };
  for (const auto& [path, id] : cases) EXPECT_EQ(registryEntryIdFromPath(path), id);
  EXPECT_EQ(registryEntryPath(4294970929u), u"4294970929");
  EXPECT_EQ(registryEntryPath(7), u"7");
}

TEST(MacPlatform, CodeTables) {
  constexpr HostSystem kMac = HostSystem::macOs;
  const std::pair<std::uint32_t, const char*> texts[] = {
      {0xE00002C5, "Device Busy"},  {0xE00002C1, "Access Denied"}, {0xE00002E2, "Access Denied"},
      {0xE00002C0, "Open Failed"},  {0xE00002BC, "Open Failed"},   {0, "Open Failed"},
  };
  for (const auto& [code, text] : texts) EXPECT_STREQ(openFailureTextOn(kMac, code), text) << code;
  for (std::uint32_t gone : {0xE00002C0u, 0xE00002C2u}) EXPECT_TRUE(isDeviceGoneCodeOn(kMac, gone)) << gone;
  for (std::uint32_t other : {0xE00002C5u, 0xE00002C6u, 0xE00002E8u, 0xE00002D6u, 0u}) {
    EXPECT_FALSE(isDeviceGoneCodeOn(kMac, other)) << other;
  }
  std::uint32_t a = 0;
  std::uint32_t b = 0;
  EXPECT_TRUE(platformRandom32(a) && platformRandom32(b));
  EXPECT_NE(a, b);
  const std::uint64_t t0 = platformNowMs();
  EXPECT_GE(platformNowMs(), t0);
}

}  // namespace
}  // namespace pelmora
