// Discovery through an IOHIDManager: the HID stack is asked only for devices
// with the synthesizer's vendor, product, usage page and usage; each one is
// named by its registry entry ID and checked for 64-byte reports.
#include "Pelmora_mac/hid_discovery.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/hid/IOHIDKeys.h>
#include <IOKit/hid/IOHIDManager.h>

#include <algorithm>
#include <array>
#include <limits>
#include <type_traits>
#include <vector>

#include "Pelmora_mac/autorelease_pool.h"
#include "core/transport/device_list.h"
#include "core/transport/platform.h"

// The matching numbers are made as 32-bit integers.
static_assert(kCFNumberSInt32Type == 3 && std::is_same_v<CFTypeID, unsigned long>);

namespace pelmora {

std::u16string registryEntryPath(std::uint64_t entryId) {
  const std::string digits = std::to_string(entryId);
  return std::u16string(digits.begin(), digits.end());
}

std::uint64_t registryEntryIdFromPath(const std::u16string& path) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (path.empty()) return 0;
  std::uint64_t id = 0;
  for (char16_t unit : path) {
    if (unit < u'0' || unit > u'9') return 0;
    const auto digit = static_cast<std::uint64_t>(unit - u'0');
    if (id > (kMax - digit) / 10) return 0;
    id = id * 10 + digit;
  }
  return id;
}

namespace {

constexpr std::size_t kMatchingKeys = 4;

// False when the numbers could not be made; matching nothing then is safer
// than matching every HID device.
bool setDeviceMatching(IOHIDManagerRef manager) {
  const std::array<std::int32_t, kMatchingKeys> values = {kVendorId, kProductId, kUsagePage, kUsage};
  std::array<const void*, kMatchingKeys> keys = {CFSTR(kIOHIDVendorIDKey), CFSTR(kIOHIDProductIDKey),
                                                 CFSTR(kIOHIDDeviceUsagePageKey), CFSTR(kIOHIDDeviceUsageKey)};
  std::array<const void*, kMatchingKeys> numbers{};
  bool complete = true;
  for (std::size_t i = 0; i < kMatchingKeys; ++i) {
    numbers[i] = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &values[i]);
    complete = complete && numbers[i] != nullptr;
  }
  CFDictionaryRef matching = nullptr;
  if (complete) {
    matching = CFDictionaryCreate(kCFAllocatorDefault, keys.data(), numbers.data(), static_cast<CFIndex>(kMatchingKeys),
                                  &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  }
  if (matching != nullptr) {
    IOHIDManagerSetDeviceMatching(manager, matching);
    CFRelease(matching);
  }
  for (const void* number : numbers) {
    if (number != nullptr) CFRelease(number);
  }
  return matching != nullptr;
}

// The whole string, unchanged; empty when the property is missing or not a
// string.
std::u16string readSerial(IOHIDDeviceRef device) {
  CFTypeRef value = IOHIDDeviceGetProperty(device, CFSTR(kIOHIDSerialNumberKey));
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return {};
  const auto text = static_cast<CFStringRef>(value);
  const CFIndex length = CFStringGetLength(text);
  std::vector<UniChar> units(static_cast<std::size_t>(length));
  CFStringGetCharacters(text, CFRangeMake(0, length), units.data());
  return std::u16string(units.begin(), units.end());
}

// 0 when the property is missing or not a 32-bit number.
std::int32_t readSize(IOHIDDeviceRef device, CFStringRef key) {
  CFTypeRef value = IOHIDDeviceGetProperty(device, key);
  if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) return 0;
  std::int32_t size = 0;
  if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &size)) return 0;
  return size;
}

bool hasReportSizes(IOHIDDeviceRef device) {
  return readSize(device, CFSTR(kIOHIDMaxInputReportSizeKey)) == static_cast<std::int32_t>(kInputReportLength) &&
         readSize(device, CFSTR(kIOHIDMaxFeatureReportSizeKey)) == static_cast<std::int32_t>(kFeatureReportLength);
}

void appendDevices(CFSetRef devices, DeviceList& list) {
  std::vector<const void*> values(static_cast<std::size_t>(CFSetGetCount(devices)));
  CFSetGetValues(devices, values.data());
  for (const void* value : values) {
    auto device = static_cast<IOHIDDeviceRef>(const_cast<void*>(value));
    std::uint64_t entryId = 0;
    if (IORegistryEntryGetRegistryEntryID(IOHIDDeviceGetService(device), &entryId) != KERN_SUCCESS) continue;
    std::u16string path = registryEntryPath(entryId);
    if (std::any_of(list.begin(), list.end(), [&](const HidDeviceInfo& d) { return d.path == path; })) continue;
    HidDeviceInfo info{std::move(path), readSerial(device), {}};
    if (!hasReportSizes(device)) info.error = kErrorReportSize;
    list.push_back(std::move(info));
  }
}

}  // namespace

DeviceList enumerateDevices() {
  AutoreleasePool pool;
  DeviceList list;
  IOHIDManagerRef manager = IOHIDManagerCreate(kCFAllocatorDefault, kIOHIDManagerOptionNone);
  if (manager == nullptr) return list;
  if (setDeviceMatching(manager)) {
    if (CFSetRef devices = IOHIDManagerCopyDevices(manager)) {
      appendDevices(devices, list);
      CFRelease(devices);
    }
  }
  CFRelease(manager);
  finalizeDeviceList(list, EmptySerialRule::ReplaceError);
  return list;
}

}  // namespace pelmora
