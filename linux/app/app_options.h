#pragma once
// The command line of `pelmora`. Anything it does not know is refused, so
// that a typo never starts the program against the wrong source.
#include <string>

namespace pelmora::app {

enum class AppAction { Run, List, Help, Version, Error };

struct AppOptions {
  AppAction action = AppAction::Run;
  bool demo = false;
  int scale = 0;        // the window's scale at start; 0: chosen for the screen
  bool onTop = false;   // start always on top
  std::string serial;   // show only the synthesizer with this serial; empty: any
  std::string record;   // capture file to write; empty: none
  std::string replay;   // trace or capture to show instead of a device; empty: none
  bool print = false;   // with replay: print a summary instead of opening the window
  std::string error;    // one line, set when action is Error
};

// The exit code for a command line that could not be understood.
inline constexpr int kUsageExitCode = 2;
// --replay: this program differs from the one that recorded the trace.
inline constexpr int kReplayDiffersExitCode = 3;
// --replay: the file is damaged (its checks tell where).
inline constexpr int kReplayDamagedExitCode = 4;

AppOptions parseOptions(int argc, const char* const* argv);

std::string usageText(const std::string& program);
std::string versionText();
// "<program>: <error>", one line.
std::string errorLine(const std::string& program, const std::string& error);
// The same with a pointer to --help, for a command line that was not understood.
std::string usageErrorLine(const std::string& program, const std::string& error);

}  // namespace pelmora::app
