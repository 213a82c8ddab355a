#include "windows/hid_discovery.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "core/transport/device_list.h"

namespace pelmora {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "device paths are passed through as UTF-16");

constexpr std::size_t kSerialUnits = kSerialBufferBytes / sizeof(wchar_t);

// The interface's path, or nothing when its detail data cannot be had. The
// detail buffer is owned here and freed whatever happens.
std::optional<std::u16string> interfacePath(const Win32Api& api, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data) {
  DWORD required = 0;
  api.setupDiGetDeviceInterfaceDetail(set, &data, nullptr, 0, &required, nullptr);
  if (required == 0 || required > kMaxInterfaceDetailBytes) return std::nullopt;
  constexpr std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  if (required <= pathOffset) return std::nullopt;

  auto buffer = std::make_unique<std::byte[]>(required);  // zeroed, suitably aligned
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.get());
  // The fixed part of the structure as this build lays it out (6 bytes in a
  // 32-bit program, 8 in a 64-bit one), which is what SetupAPI checks.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!api.setupDiGetDeviceInterfaceDetail(set, &data, detail, required, nullptr, nullptr)) return std::nullopt;

  // The path ends at its terminator or at the end of the buffer, whichever
  // comes first.
  const std::size_t maxUnits = (required - pathOffset) / sizeof(wchar_t);
  const wchar_t* path = detail->DevicePath;
  std::size_t length = 0;
  while (length < maxUnits && path[length] != L'\0') ++length;
  if (length == 0) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(path), length);
}

bool hasSupportedCaps(const Win32Api& api, HANDLE device) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!api.hidGetPreparsedData(device, &preparsed)) return false;
  HIDP_CAPS caps{};
  const bool read = api.hidGetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
  api.hidFreePreparsedData(preparsed);
  return read && caps.UsagePage == kUsagePage && caps.Usage == kUsage &&
         caps.InputReportByteLength == kInputReportLength && caps.FeatureReportByteLength == kFeatureReportLength;
}

// Fills `serial`, or `error` when the serial cannot be used.
void readSerial(const Win32Api& api, HANDLE device, HidDeviceInfo& record) {
  std::array<wchar_t, kSerialUnits> units{};
  if (!api.hidGetSerialNumberString(device, units.data(), kSerialBufferBytes)) {
    record.error = kErrorSerialReadFailed;
    return;
  }
  std::size_t length = 0;
  while (length < units.size() && units[length] != L'\0') ++length;
  if (length == 0 || length == units.size()) {
    record.error = kErrorSerialEmpty;
    return;
  }
  record.serial.assign(reinterpret_cast<const char16_t*>(units.data()), length);
}

// The record of one interface, or nothing when it is not the synthesizer's
// or cannot be probed. Every handle opened here is closed here.
std::optional<HidDeviceInfo> probe(const Win32Api& api, const std::u16string& path) {
  // Access 0: attributes, capabilities and serial can be read even while
  // another program holds the device open for exclusive use.
  HANDLE device = api.createFile(reinterpret_cast<const wchar_t*>(path.c_str()), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return std::nullopt;

  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (!api.hidGetAttributes(device, &attributes) || attributes.VendorID != kVendorId ||
      attributes.ProductID != kProductId) {
    api.closeHandle(device);
    return std::nullopt;
  }
  HidDeviceInfo record{path, {}, {}};
  if (!hasSupportedCaps(api, device)) record.error = kErrorUnsupportedProtocol;
  readSerial(api, device, record);
  api.closeHandle(device);
  return record;
}

bool samePath(const Win32Api& api, const std::u16string& a, const std::u16string& b) {
  return api.compareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                                  reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool isListed(const Win32Api& api, const DeviceList& list, const std::u16string& path) {
  for (const HidDeviceInfo& record : list) {
    if (samePath(api, record.path, path)) return true;
  }
  return false;
}

}  // namespace

DeviceList enumerateHidDevices(const Win32Api& api) {
  GUID hidGuid{};
  api.hidGetHidGuid(&hidGuid);
  HDEVINFO set = api.setupDiGetClassDevs(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return {HidDeviceInfo{{}, {}, kErrorEnumerationPrefix + std::to_string(code)}};
  }

  DeviceList list;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD index = 0; api.setupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &data); ++index) {
    const std::optional<std::u16string> path = interfacePath(api, set, data);
    if (!path) continue;
    std::optional<HidDeviceInfo> record = probe(api, *path);
    if (record && !isListed(api, list, record->path)) list.push_back(std::move(*record));
  }
  api.setupDiDestroyDeviceInfoList(set);
  finalizeDeviceList(list, EmptySerialRule::KeepExistingError);
  return list;
}

}  // namespace pelmora
