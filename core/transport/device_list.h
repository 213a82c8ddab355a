#pragma once
#include "core/transport/hid_device_info.h"

namespace pelmora {

// What happens to a device whose serial is empty.
enum class EmptySerialRule {
  KeepExistingError,  // Windows: only records without an error get "Invalid Serial\nEmpty"
  ReplaceError,       // macOS: every record of the run gets "Invalid Serial\nEmpty"
};

// The rule of the platform this program was built for.
#if defined(_WIN32)
inline constexpr EmptySerialRule kPlatformEmptySerialRule = EmptySerialRule::KeepExistingError;
#else
inline constexpr EmptySerialRule kPlatformEmptySerialRule = EmptySerialRule::ReplaceError;
#endif

// Sorts by serial (UTF-16 code units) and applies the serial rules.
void finalizeDeviceList(DeviceList& list, EmptySerialRule rule = kPlatformEmptySerialRule);

}  // namespace pelmora
