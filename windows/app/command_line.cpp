#include "windows/app/command_line.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "windows/app/text_encoding.h"

namespace pelmora::winapp {
namespace {

constexpr const char* kProgramName = "Pelmora.exe";
constexpr const wchar_t* kMessageCaption = L"Pelmora";
// Paragraphs without line breaks: the message box wraps them.
constexpr const char* kKeysHelp =
    "\nRight-click the picture (or press Shift+F10) for the scale, always on top, copying, saving and exit.\n"
    "\nCtrl+C copies the picture, Ctrl+S saves it as PNG in your Pictures folder (the title says where).\n";

void tell(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, wideFromUtf8(text).c_str(), kMessageCaption, MB_OK | icon);
}

}  // namespace

// The run-time library has already split the line for the wide entry point;
// taking its words needs no further system library (CommandLineToArgvW
// would bring in the shell's).
host::ProgramOptions commandLineOptions() {
  if (__wargv == nullptr) return {};
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.push_back(utf8FromWide(__wargv[i]));  // after the program's name
  return host::parseProgramOptions(args);
}

bool answerCommandLine(const host::ProgramOptions& options, int& exitCode) {
  const std::string help = host::programHelpText(kProgramName) + kKeysHelp;
  switch (options.action) {
    case host::ProgramAction::Run:
      return false;
    case host::ProgramAction::Help:
      tell(help, MB_ICONINFORMATION);
      exitCode = 0;
      return true;
    case host::ProgramAction::Version:
      tell(host::programVersionText(), MB_ICONINFORMATION);
      exitCode = 0;
      return true;
    case host::ProgramAction::Error:
      tell(std::string(kProgramName) + ": " + options.error + "\n\n" + help, MB_ICONERROR);
      exitCode = host::kUsageExitCode;
      return true;
  }
  return false;
}

}  // namespace pelmora::winapp
