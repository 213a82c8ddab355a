#include "core/transport/device_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pelmora {
namespace {

HidDeviceInfo device(std::u16string serial, std::string error = {}) {
  return HidDeviceInfo{u"path-" + serial, std::move(serial), std::move(error)};
}

std::vector<std::u16string> serials(const DeviceList& list) {
  std::vector<std::u16string> out;
  for (const auto& d : list) out.push_back(d.serial);
  return out;
}

TEST(FinalizeDeviceList, SortsByCodeUnitsWithoutFolding) {
  DeviceList list = {device(u"B"), device(u"a"), device(u"AB"), device(u"A")};
  finalizeDeviceList(list);
  EXPECT_EQ(serials(list), (std::vector<std::u16string>{u"A", u"AB", u"B", u"a"}));
  for (const auto& d : list) EXPECT_EQ(d.error, "") << "distinct serials stay usable";

  // Units compare unsigned: a unit above 0x7FFF sorts after ASCII, and digits
  // are not read as numbers.
  DeviceList wide = {device(u"\uFF21"), device(u"10"), device(u"9"), device(u"\u00E9")};
  finalizeDeviceList(wide);
  EXPECT_EQ(serials(wide), (std::vector<std::u16string>{u"10", u"9", u"\u00E9", u"\uFF21"}));

  DeviceList none;
  finalizeDeviceList(none);
  EXPECT_TRUE(none.empty());
}

TEST(FinalizeDeviceList, EqualSerialsAreDuplicatesWhateverTheirErrors) {
  DeviceList list = {device(u"B2"), device(u"A1"), device(u"A1", kErrorUnsupportedProtocol),
                     device(u"a1")};
  finalizeDeviceList(list);
  ASSERT_EQ(serials(list), (std::vector<std::u16string>{u"A1", u"A1", u"B2", u"a1"}));
  EXPECT_EQ(list[0].error, kErrorSerialDuplicate);
  EXPECT_EQ(list[1].error, kErrorSerialDuplicate);
  EXPECT_EQ(list[2].error, "");
  EXPECT_EQ(list[3].error, "") << "serials differing in case are different";
}

TEST(FinalizeDeviceList, EmptySerialRules) {
  const DeviceList input = {device(u"", kErrorSerialReadFailed), device(u"X"), device(u""),
                            device(u"", kErrorUnsupportedProtocol)};
  DeviceList keep = input;
  finalizeDeviceList(keep, EmptySerialRule::KeepExistingError);
  DeviceList replace = input;
  finalizeDeviceList(replace, EmptySerialRule::ReplaceError);

  std::vector<std::string> keptErrors;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(replace[i].error, kErrorSerialEmpty);
    keptErrors.push_back(keep[i].error);
  }
  std::sort(keptErrors.begin(), keptErrors.end());
  EXPECT_EQ(keptErrors, (std::vector<std::string>{kErrorSerialEmpty, kErrorSerialReadFailed,
                                                  kErrorUnsupportedProtocol}));
  EXPECT_EQ(keep[3].error, "");
  EXPECT_EQ(replace[3].error, "");

  // A single empty serial is handled the same way: it is never usable.
  DeviceList single = {device(u"")};
  finalizeDeviceList(single, EmptySerialRule::KeepExistingError);
  EXPECT_EQ(single[0].error, kErrorSerialEmpty);
}

}  // namespace
}  // namespace pelmora
