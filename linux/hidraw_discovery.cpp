#include "linux/hidraw_discovery.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "linux/report_descriptor.h"
#include "linux/utf16_conversion.h"

namespace pelmora {
namespace {

constexpr std::string_view kNodePrefix = "hidraw";
constexpr std::string_view kHidIdKey = "HID_ID=";
constexpr std::string_view kHidUniqKey = "HID_UNIQ=";
// The kernel refuses descriptors longer than this; a longer file is not one.
constexpr std::size_t kMaxDescriptorLength = 16384;
constexpr std::size_t kMaxUeventLength = 16384;
constexpr int kHex = 16;

struct Node {
  unsigned number = 0;
  std::string name;
};

struct HidIdentity {
  unsigned vendor = 0;
  unsigned product = 0;
  std::optional<std::string> uniq;
};

// "hidraw" followed by decimal digits only.
std::optional<unsigned> nodeNumber(std::string_view name) {
  if (!name.starts_with(kNodePrefix) || name.size() == kNodePrefix.size()) return std::nullopt;
  const std::string_view digits = name.substr(kNodePrefix.size());
  unsigned number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

// Nodes in numeric order, so the list is the same on every scan.
std::vector<Node> listNodes(const std::string& sysRoot) {
  std::vector<Node> nodes;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(sysRoot, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (const auto number = nodeNumber(name)) nodes.push_back({*number, std::move(name)});
  }
  std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) { return a.number < b.number; });
  return nodes;
}

// At most `limit` bytes; nullopt when unreadable or longer than that.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string content(limit + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) return std::nullopt;
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > limit) return std::nullopt;
  content.resize(got);
  return content;
}

bool parseHex(std::string_view text, unsigned& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, kHex);
  return ec == std::errc{} && end == text.data() + text.size();
}

// HID_ID is "bus:vendor:product", each in hexadecimal.
bool parseHidId(std::string_view value, HidIdentity& identity) {
  const std::size_t first = value.find(':');
  if (first == std::string_view::npos) return false;
  const std::size_t second = value.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  unsigned bus = 0;
  return parseHex(value.substr(0, first), bus) &&
         parseHex(value.substr(first + 1, second - first - 1), identity.vendor) &&
         parseHex(value.substr(second + 1), identity.product);
}

std::optional<HidIdentity> readIdentity(const std::filesystem::path& deviceDir) {
  const auto uevent = readSmallFile(deviceDir / "uevent", kMaxUeventLength);
  if (!uevent) return std::nullopt;
  HidIdentity identity;
  bool haveId = false;
  std::string_view rest = *uevent;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (line.starts_with(kHidIdKey)) {
      haveId = parseHidId(line.substr(kHidIdKey.size()), identity);
    } else if (line.starts_with(kHidUniqKey)) {
      identity.uniq = std::string(line.substr(kHidUniqKey.size()));
    }
  }
  if (!haveId) return std::nullopt;
  return identity;
}

bool capabilitiesMatch(const std::filesystem::path& deviceDir) {
  const auto descriptor = readSmallFile(deviceDir / "report_descriptor", kMaxDescriptorLength);
  if (!descriptor) return false;
  const ReportDescriptorSummary summary = parseReportDescriptor(
      reinterpret_cast<const std::uint8_t*>(descriptor->data()), descriptor->size());
  return summary.wellFormed && summary.topLevelCollections == 1 && summary.usagePage == kUsagePage &&
         summary.usage == kUsage && summary.inputReportLength == kInputReportLength &&
         summary.featureReportLength == kFeatureReportLength;
}

}  // namespace

DeviceList enumerateHidraw(const std::string& sysRoot, const std::string& devRoot) {
  DeviceList list;
  for (const Node& node : listNodes(sysRoot)) {
    const std::filesystem::path deviceDir = std::filesystem::path(sysRoot) / node.name / "device";
    const auto identity = readIdentity(deviceDir);
    if (!identity || identity->vendor != kVendorId || identity->product != kProductId) continue;
    HidDeviceInfo info;
    info.path = utf8ToUtf16(devRoot + "/" + node.name);
    if (identity->uniq) info.serial = utf8ToUtf16(*identity->uniq);
    if (!capabilitiesMatch(deviceDir)) info.error = kErrorReportSize;
    list.push_back(std::move(info));
  }
  finalizeDeviceList(list, kLinuxEmptySerialRule);
  return list;
}

}  // namespace pelmora
