#pragma once
// Finds the synthesizer among the hidraw nodes. Everything is read from
// sysfs, so nothing is opened and no handle is held; the roots are
// parameters so that a fake tree can stand in for /sys and /dev.
#include <string>

#include "core/transport/device_list.h"
#include "core/transport/hid_device_info.h"

namespace pelmora {

inline constexpr const char* kSysClassHidraw = "/sys/class/hidraw";
inline constexpr const char* kDevRoot = "/dev";

// A hidraw node's record exists when `<sysRoot>/hidrawN/device/uevent` names
// our vendor and product; its path is `<devRoot>/hidrawN`. A node without a
// serial is marked empty unless its capability error already says why it
// cannot be used: that is the more telling text for the user.
inline constexpr EmptySerialRule kLinuxEmptySerialRule = EmptySerialRule::KeepExistingError;

DeviceList enumerateHidraw(const std::string& sysRoot, const std::string& devRoot);

}  // namespace pelmora
