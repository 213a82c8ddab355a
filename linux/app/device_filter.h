#pragma once
// `pelmora --serial SERIAL`: the window shows that one synthesizer and
// ignores the others, so two synthesizers can have a window each. The
// device list is read as usual (duplicate and empty serials are judged on
// the whole list) and then cut down to the records carrying the serial;
// the worker's choice among what is left stays its own.
#include <string>

#include "bridge/session_bridge.h"
#include "core/transport/hid_device_info.h"

namespace pelmora::app {

DeviceList onlySerial(const DeviceList& devices, const std::u16string& serial);

// Filters both the worker's enumeration and the device scan of its long
// pauses, so that plugging in another synthesizer does not even wake it.
void showOnlySerial(SessionBridgeOptions& options, const std::u16string& serial);

}  // namespace pelmora::app
