#pragma once
// The command line of `pelmora`: a demo switch and the usual --help and
// --version. Anything else is refused so that a typo never starts the
// program against the wrong source.
#include <string>

namespace pelmora::app {

enum class AppAction { Run, Help, Version, Error };

struct AppOptions {
  AppAction action = AppAction::Run;
  bool demo = false;
  std::string error;  // one line, set when action is Error
};

// The exit code for a command line that could not be understood.
inline constexpr int kUsageExitCode = 2;

AppOptions parseOptions(int argc, const char* const* argv);

std::string usageText(const std::string& program);
std::string versionText();
// "<program>: <error>", one line.
std::string errorLine(const std::string& program, const std::string& error);
// The same with a pointer to --help, for a command line that was not understood.
std::string usageErrorLine(const std::string& program, const std::string& error);

}  // namespace pelmora::app
