#include "core/transport/device_list.h"

#include <algorithm>

namespace pelmora {
namespace {

void markEmptySerialRun(DeviceList::iterator begin, DeviceList::iterator end, EmptySerialRule rule) {
  for (auto it = begin; it != end; ++it) {
    if (rule == EmptySerialRule::ReplaceError || it->error.empty()) it->error = kErrorSerialEmpty;
  }
}

void markDuplicateRun(DeviceList::iterator begin, DeviceList::iterator end) {
  for (auto it = begin; it != end; ++it) it->error = kErrorSerialDuplicate;
}

}  // namespace

void finalizeDeviceList(DeviceList& list, EmptySerialRule rule) {
  // std::u16string compares char16_t code units as unsigned values, shorter
  // prefix first: exactly the order wanted, without case folding.
  std::sort(list.begin(), list.end(),
            [](const HidDeviceInfo& a, const HidDeviceInfo& b) { return a.serial < b.serial; });
  for (auto runBegin = list.begin(); runBegin != list.end();) {
    const auto runEnd = std::find_if(runBegin, list.end(),
                                     [&](const HidDeviceInfo& d) { return d.serial != runBegin->serial; });
    if (runBegin->serial.empty()) {
      markEmptySerialRun(runBegin, runEnd, rule);
    } else if (runEnd - runBegin > 1) {
      markDuplicateRun(runBegin, runEnd);
    }
    runBegin = runEnd;
  }
}

}  // namespace pelmora
