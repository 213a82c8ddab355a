#include "linux/app/device_listing.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "linux/utf16_conversion.h"

namespace pelmora::app {
namespace {

constexpr const char* kRuleFix =
    "Access Denied: this user may not open the synthesizer. Install the package (or copy\n"
    "70-pelmora.rules to /etc/udev/rules.d/), then run\n"
    "  sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw\n"
    "and log in at the machine itself (the rule gives access to the user at the seat).\n";
constexpr const char* kBusyFix =
    "Device Busy: another program has the synthesizer open (perhaps another pelmora\n"
    "window); close it, or start pelmora with --serial for another synthesizer.\n";

std::string accessText(DeviceAccess access) {
  switch (access) {
    case DeviceAccess::Ready: return "ready";
    case DeviceAccess::Denied: return "Access Denied";
    case DeviceAccess::Busy: return "Device Busy";
    case DeviceAccess::Missing: return "node missing";
    case DeviceAccess::Failed: return "cannot be opened";
  }
  return {};
}

std::string oneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += ": ";
    } else {
      out += c;
    }
  }
  return out;
}

std::string padded(const std::string& text, std::size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

DeviceAccess probeAccess(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) return DeviceAccess::Denied;
    if (errno == ENOENT || errno == ENODEV || errno == ENXIO) return DeviceAccess::Missing;
    if (errno == EBUSY) return DeviceAccess::Busy;
    return DeviceAccess::Failed;
  }
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // closing drops the lock again
  return locked ? DeviceAccess::Ready : DeviceAccess::Busy;
}

namespace {

// A synthesizer the kernel knows is listed even when it cannot be opened, so
// an empty list points to the cable or the kernel, not to access rights.
constexpr const char* kNothingFound =
    "No synthesizer found. Check that:\n"
    "  - it is switched on and plugged in with a data cable (a charging-only cable\n"
    "    shows nothing); try another USB port, without a hub;\n"
    "  - the kernel sees it: run 'sudo dmesg | tail' right after plugging it in;\n"
    "    it should name a HID device 39d0:0101 and a hidraw node.\n"
    "A synthesizer the kernel sees is listed here even without the udev rule\n"
    "(then as \"Access Denied\", with the fix).\n";

}  // namespace

std::string deviceListing(const DeviceList& devices, const AccessProbe& probe) {
  if (devices.empty()) return kNothingFound;
  struct Row {
    std::string serial, node, status;
  };
  std::vector<Row> rows;
  std::set<DeviceAccess> seen;
  for (const HidDeviceInfo& device : devices) {
    Row row{device.serial.empty() ? "-" : utf16ToUtf8(device.serial), utf16ToUtf8(device.path), {}};
    if (!device.error.empty()) {
      row.status = oneLine(device.error);
    } else {
      const DeviceAccess access = probe(row.node);
      seen.insert(access);
      row.status = accessText(access);
    }
    rows.push_back(std::move(row));
  }
  std::size_t serialWidth = 6;
  std::size_t nodeWidth = 4;
  for (const Row& row : rows) {
    serialWidth = std::max(serialWidth, row.serial.size());
    nodeWidth = std::max(nodeWidth, row.node.size());
  }
  std::string out = padded("SERIAL", serialWidth) + "  " + padded("NODE", nodeWidth) + "  STATUS\n";
  for (const Row& row : rows) {
    out += padded(row.serial, serialWidth) + "  " + padded(row.node, nodeWidth) + "  " + row.status + "\n";
  }
  if (seen.contains(DeviceAccess::Denied)) out += std::string("\n") + kRuleFix;
  if (seen.contains(DeviceAccess::Busy)) out += std::string("\n") + kBusyFix;
  return out;
}

}  // namespace pelmora::app
