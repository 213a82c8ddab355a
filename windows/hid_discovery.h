#pragma once
// Discovery on Windows: every present HID device interface is probed through
// SetupAPI and the HID client library; the synthesizer's interfaces become
// records, everything else is skipped without a trace.
#include <cstdint>

#include "core/transport/hid_device_info.h"
#include "windows/win32_api.h"

namespace pelmora {

// Interface detail data larger than this is not believed.
inline constexpr std::uint32_t kMaxInterfaceDetailBytes = 65536;
// The serial number buffer: 128 UTF-16 units, the last of which must be
// (or come after) the terminating zero.
inline constexpr std::uint32_t kSerialBufferBytes = 256;

// Probes the interfaces and ends with finalizeDeviceList. When the list of
// interfaces cannot be had at all, the result is one record carrying the
// enumeration error and its code, not finalized.
DeviceList enumerateHidDevices(const Win32Api& api);

}  // namespace pelmora
