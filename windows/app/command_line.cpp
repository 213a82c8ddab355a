#include "windows/app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace pelmora::winapp {
namespace {

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

}  // namespace

host::ProgramOptions commandLineOptions() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return {};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(utf8(words[i]));  // after the program's name
  LocalFree(words);
  return host::parseProgramOptions(args);
}

}  // namespace pelmora::winapp
