#include "windows/app/command_line.h"

#include <windows.h>

#include <cstdlib>
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

// The run-time library has already split the line for the wide entry point;
// taking its words needs no further system library (CommandLineToArgvW
// would bring in the shell's).
host::ProgramOptions commandLineOptions() {
  if (__wargv == nullptr) return {};
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.push_back(utf8(__wargv[i]));  // after the program's name
  return host::parseProgramOptions(args);
}

}  // namespace pelmora::winapp
