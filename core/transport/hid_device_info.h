#pragma once
#include <string>
#include <vector>

namespace pelmora {

// Identity of the synthesizer, the same on every platform.
inline constexpr unsigned kVendorId = 0x39D0;
inline constexpr unsigned kProductId = 0x0101;
inline constexpr unsigned kUsagePage = 0xFF00;
inline constexpr unsigned kUsage = 0x0001;
inline constexpr unsigned kInputReportLength = 64;
inline constexpr unsigned kFeatureReportLength = 64;

// One discovered device.
struct HidDeviceInfo {
  std::u16string path;    // what the platform transport's open takes
  std::u16string serial;  // USB serial number; empty when absent
  std::string error;      // empty when usable, else the status text
};

using DeviceList = std::vector<HidDeviceInfo>;

// Texts discovery places in `error`.
inline constexpr const char* kErrorUnsupportedProtocol = "Unsupported Protocol";
inline constexpr const char* kErrorReportSize = "Unsupported Protocol\nReport Size";
inline constexpr const char* kErrorSerialReadFailed = "Invalid Serial\nRead Failed";
inline constexpr const char* kErrorSerialEmpty = "Invalid Serial\nEmpty";
inline constexpr const char* kErrorSerialDuplicate = "Invalid Serial\nDuplicate";
inline constexpr const char* kErrorEnumerationPrefix = "Connection Error\nEnumeration Error ";

}  // namespace pelmora
