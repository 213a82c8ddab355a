#pragma once
// What the macOS program makes of its command line: the options it shares
// with Windows, "--scale N", and answers to "--help" and "--version". An
// argument it does not know is named and refused, so that a typo never
// starts the program as if nothing had been asked; Cocoa's own "-psn_..."
// and "-NSKey value" / "-AppleKey value" arguments are not ours and pass.
#include <span>
#include <string>

#include "host/program_options.h"

namespace pelmora::mac {

enum class CommandLineAction { Run, Help, Version, Refuse };

// The exit status of a command line that was not understood.
inline constexpr int kUsageExitCode = 2;

struct CommandLine {
  CommandLineAction action = CommandLineAction::Run;
  host::ProgramOptions options;
  int scale = 0;       // "--scale N"; 0: chosen for the screen
  std::string error;   // one line naming the problem, when refused
};

// `args` excludes the program's own name; UTF-8.
CommandLine readCommandLine(std::span<const std::string> args);

std::string helpText();
// "Pelmora 2026-10-17".
std::string versionText();

}  // namespace pelmora::mac
