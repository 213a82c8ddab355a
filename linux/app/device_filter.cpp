#include "linux/app/device_filter.h"

#include <utility>

#include "core/transport/platform.h"

namespace pelmora::app {

DeviceList onlySerial(const DeviceList& devices, const std::u16string& serial) {
  DeviceList kept;
  for (const HidDeviceInfo& device : devices) {
    if (device.serial == serial) kept.push_back(device);
  }
  return kept;
}

void showOnlySerial(SessionBridgeOptions& options, const std::u16string& serial) {
  std::function<DeviceList()> enumerate = options.hooks.enumerate;
  if (!enumerate) enumerate = [] { return enumerateDevices(); };
  auto filtered = [enumerate = std::move(enumerate), serial] { return onlySerial(enumerate(), serial); };
  if (options.scan) {
    options.scan = [scan = std::move(options.scan), serial] { return onlySerial(scan(), serial); };
  } else {
    options.scan = filtered;
  }
  options.hooks.enumerate = std::move(filtered);
}

}  // namespace pelmora::app
