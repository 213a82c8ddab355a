#pragma once
// The pieces every platform supplies to the core: the defaults the worker
// uses when its hooks are empty. Implemented once per platform (linux/,
// windows/, Pelmora_mac/); a program links exactly one of them.
#include <cstdint>
#include <memory>
#include <string>

#include "core/transport/hid_device_info.h"
#include "core/transport/hid_transport.h"

namespace pelmora {

// Probes every HID device and ends with finalizeDeviceList.
DeviceList enumerateDevices();

// The platform's transport over one HID device.
std::unique_ptr<IHidTransport> createPlatformTransport();

// Monotonic clock in whole milliseconds.
std::uint64_t platformNowMs();

// 32 unpredictable bits from the platform's secure generator; false when the
// generator failed.
bool platformRandom32(std::uint32_t& out);

}  // namespace pelmora
