#pragma once
// Where Ctrl+S puts the picture: a timestamped PNG name in a folder, never
// overwriting an earlier picture.
#include <ctime>
#include <functional>
#include <string>

namespace pelmora::host {

// "pelmora-YYYYMMDD-HHMMSS.png" from a local time.
std::string screenshotFileName(const std::tm& localTime);

// The first free path among the name and its variants "-2", "-3", ...;
// empty when every variant is taken.
std::string screenshotPath(const std::string& folder, const std::tm& localTime,
                           const std::function<bool(const std::string&)>& exists);

// The Pictures folder when known, otherwise the home folder.
std::string screenshotFolder(const char* picturesFolder, const char* homeFolder);

}  // namespace pelmora::host
