// Windows discovery against scripted SetupAPI interfaces, and once against
// the real system (Wine's, here).
#include "windows/hid_discovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "core/transport/platform.h"
#include "fake_win32.h"

namespace pelmora {
namespace {

using testing::FakeInterface;
using testing::FakeWin32;
using testing::fakeInterface;

const char16_t* const kPath = u"\\\\?\\hid#vid_39d0&pid_0101#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

struct ProbeCase {
  const char* name;
  std::function<void(FakeInterface&)> setUp;
  bool listed;
  std::u16string serial;
  std::string error;
};

std::ostream& operator<<(std::ostream& out, const ProbeCase& c) { return out << c.name; }

class ProbeOneInterface : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeOneInterface, GivesTheRecordItsProbeEarns) {
  const ProbeCase& c = GetParam();
  FakeWin32 fake;
  FakeInterface iface = fakeInterface(kPath);
  c.setUp(iface);
  fake.interfaces.push_back(iface);

  const DeviceList list = enumerateHidDevices(fake.api());
  if (c.listed) {
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, kPath);
    EXPECT_EQ(list[0].serial, c.serial);
    EXPECT_EQ(list[0].error, c.error);
  } else {
    EXPECT_TRUE(list.empty());
  }
  // Nothing the probe obtained outlives it, whatever path it took.
  EXPECT_EQ(fake.probeHandlesOpen, 0);
  EXPECT_EQ(fake.preparsedOpen, 0);
  EXPECT_EQ(fake.listsOpen, 0);
  for (DWORD size : fake.detailCbSizes) EXPECT_EQ(size, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
}

const std::u16string k127Units(127, u'7');

INSTANTIATE_TEST_SUITE_P(
    Probe, ProbeOneInterface,
    ::testing::Values(
        ProbeCase{"Usable", [](FakeInterface&) {}, true, u"A1", ""},
        ProbeCase{"OtherVendor", [](FakeInterface& i) { i.vendor = 0x39D1; }, false, {}, {}},
        ProbeCase{"OtherProduct", [](FakeInterface& i) { i.product = 0x0102; }, false, {}, {}},
        ProbeCase{"WineVirtualMouse",
                  [](FakeInterface& i) {
                    i.vendor = 0x845E;
                    i.product = 0x0001;
                    i.serial = u"0000";
                  },
                  false, {}, {}},
        ProbeCase{"DetailSizeZero", [](FakeInterface& i) { i.detailSize = 0; }, false, {}, {}},
        ProbeCase{"DetailSizeAboveLimit", [](FakeInterface& i) { i.detailSize = 65537; }, false, {}, {}},
        ProbeCase{"DetailSizeAtLimit", [](FakeInterface& i) { i.detailSize = 65536; }, true, u"A1", ""},
        ProbeCase{"DetailFails", [](FakeInterface& i) { i.detailFails = true; }, false, {}, {}},
        ProbeCase{"ProbeOpenFails", [](FakeInterface& i) { i.probeOpenFails = true; }, false, {}, {}},
        ProbeCase{"AttributesFail", [](FakeInterface& i) { i.attributesFail = true; }, false, {}, {}},
        ProbeCase{"PreparsedDataFails", [](FakeInterface& i) { i.preparsedFails = true; }, true, u"A1",
                  "Unsupported Protocol"},
        ProbeCase{"CapsFail", [](FakeInterface& i) { i.capsFail = true; }, true, u"A1", "Unsupported Protocol"},
        ProbeCase{"OtherUsagePage", [](FakeInterface& i) { i.usagePage = 0xFF01; }, true, u"A1",
                  "Unsupported Protocol"},
        ProbeCase{"OtherUsage", [](FakeInterface& i) { i.usage = 2; }, true, u"A1", "Unsupported Protocol"},
        ProbeCase{"InputLength65", [](FakeInterface& i) { i.inputLength = 65; }, true, u"A1", "Unsupported Protocol"},
        ProbeCase{"FeatureLength63", [](FakeInterface& i) { i.featureLength = 63; }, true, u"A1",
                  "Unsupported Protocol"},
        ProbeCase{"SerialReadFails", [](FakeInterface& i) { i.serialFails = true; }, true, u"",
                  "Invalid Serial\nRead Failed"},
        ProbeCase{"BadCapsThenSerialReadFails",
                  [](FakeInterface& i) {
                    i.capsFail = true;
                    i.serialFails = true;
                  },
                  true, u"", "Invalid Serial\nRead Failed"},
        ProbeCase{"SerialEmpty", [](FakeInterface& i) { i.serial = u""; }, true, u"", "Invalid Serial\nEmpty"},
        ProbeCase{"Serial128UnitsUnterminated", [](FakeInterface& i) { i.serial = std::u16string(128, u'9'); },
                  true, u"", "Invalid Serial\nEmpty"},
        ProbeCase{"Serial127Units", [](FakeInterface& i) { i.serial = k127Units; }, true, k127Units, ""}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(WindowsDiscovery, OneRecordPerDeviceAndSharedSerialsAreDuplicates) {
  FakeWin32 fake;
  std::u16string upper = kPath;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  FakeInterface mouse = fakeInterface(u"\\\\?\\hid#vid_845e&pid_0001#mouse");
  mouse.vendor = 0x845E;
  mouse.serial = u"0000";
  FakeInterface keyboard = fakeInterface(u"\\\\?\\hid#vid_845e&pid_0002#keyboard");
  keyboard.vendor = 0x845E;
  keyboard.product = 0x0002;
  keyboard.serial = u"0000";
  FakeInterface second = fakeInterface(u"\\\\?\\hid#vid_39d0&pid_0101&mi_01#b2", u"B2");
  // The same device's second interface: another usage page, the same serial.
  FakeInterface otherCollection = fakeInterface(u"\\\\?\\hid#vid_39d0&pid_0101&mi_02#b2", u"B2");
  otherCollection.usagePage = 0x000C;
  FakeInterface loner = fakeInterface(u"\\\\?\\hid#vid_39d0&pid_0101#a0", u"A0");
  fake.interfaces = {mouse, fakeInterface(kPath, u"Z9"), second, fakeInterface(upper, u"Z8"), keyboard,
                     otherCollection, loner};

  const DeviceList list = enumerateHidDevices(fake.api());
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].serial, u"A0");
  EXPECT_EQ(list[0].error, "");
  EXPECT_EQ(list[1].serial, u"B2");
  EXPECT_EQ(list[1].error, "Invalid Serial\nDuplicate");
  EXPECT_EQ(list[2].serial, u"B2");
  EXPECT_EQ(list[2].error, "Invalid Serial\nDuplicate");
  // The path listed twice in different case: the first one found stays.
  EXPECT_EQ(list[3].path, kPath);
  EXPECT_EQ(list[3].serial, u"Z9");
  EXPECT_EQ(fake.probeHandlesOpen, 0);
}

TEST(WindowsDiscovery, AnUnobtainableListIsOneErrorRecordWithTheCode) {
  FakeWin32 fake;
  fake.classDevsError = ERROR_ACCESS_DENIED;
  const DeviceList list = enumerateHidDevices(fake.api());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, u"");
  EXPECT_EQ(list[0].serial, u"");
  EXPECT_EQ(list[0].error, "Connection Error\nEnumeration Error 5");
}

TEST(WindowsDiscovery, TheSystemListsNoSynthesizer) {
  // Wine offers a virtual mouse and keyboard (vendor 0x845E); a real system
  // whatever it has. Neither holds a synthesizer here.
  EXPECT_TRUE(enumerateDevices().empty());
}

}  // namespace
}  // namespace pelmora
