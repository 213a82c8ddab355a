#include "windows/app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace pelmora::winapp {
namespace {

std::string toUtf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string out(static_cast<std::size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
  return out;
}

}  // namespace

host::ProgramOptions programOptions() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; arguments != nullptr && i < count; ++i) args.push_back(toUtf8(arguments[i]));
  if (arguments != nullptr) LocalFree(arguments);
  return host::parseProgramOptions(args);
}

}  // namespace pelmora::winapp
