#pragma once
// `pelmora --list`: the synthesizers found, one line each with its serial,
// its hidraw node and whether this user may open it, followed by the fix
// for each kind of problem seen ("Access Denied" is the usual one on a
// machine where the udev rule is not in effect yet).
#include <functional>
#include <string>

#include "core/transport/hid_device_info.h"

namespace pelmora::app {

enum class DeviceAccess { Ready, Denied, Busy, Missing, Failed };
using AccessProbe = std::function<DeviceAccess(const std::string& node)>;

// Opens the node as the program would (read-write, then the exclusive
// lock) and lets go at once; nothing is sent to the device.
DeviceAccess probeAccess(const std::string& node);

// The whole listing; when the list is empty, "No synthesizer found." and
// what to check.
std::string deviceListing(const DeviceList& devices, const AccessProbe& probe);

}  // namespace pelmora::app
