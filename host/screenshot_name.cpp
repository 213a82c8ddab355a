#include "host/screenshot_name.h"

#include <array>
#include <cstdio>

namespace pelmora::host {
namespace {

constexpr const char* kPrefix = "pelmora-";
constexpr const char* kExtension = ".png";
// Two saves in the same second get "-2", "-3", ...; beyond this the folder
// is full of our pictures and we give up rather than loop.
constexpr int kMaxVariants = 99;

std::string stamp(const std::tm& t) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%04d%02d%02d-%02d%02d%02d", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text.data();
}

// Joined with the folder's own separator: a Windows folder comes with
// backslashes.
std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char separator = folder.find('/') == std::string::npos && folder.find('\\') != std::string::npos ? '\\' : '/';
  return folder.back() == separator ? folder + name : folder + separator + name;
}

}  // namespace

std::string screenshotFileName(const std::tm& localTime) {
  return kPrefix + stamp(localTime) + kExtension;
}

std::string screenshotPath(const std::string& folder, const std::tm& localTime,
                           const std::function<bool(const std::string&)>& exists) {
  const std::string base = kPrefix + stamp(localTime);
  for (int variant = 1; variant <= kMaxVariants; ++variant) {
    const std::string name = variant == 1 ? base + kExtension
                                          : base + "-" + std::to_string(variant) + kExtension;
    const std::string path = joinPath(folder, name);
    if (!exists(path)) return path;
  }
  return {};
}

std::string screenshotFolder(const char* picturesFolder, const char* homeFolder) {
  if (picturesFolder && *picturesFolder) return picturesFolder;
  if (homeFolder && *homeFolder) return homeFolder;
  return ".";
}

}  // namespace pelmora::host
