#pragma once
// The command line the Windows and macOS programs take. It is refused as a
// whole when it holds an option they do not know, so that a typo never
// starts the program as if nothing had been asked; macOS's own "-psn_..."
// and "-NSKey value" / "-AppleKey value" arguments are not ours and pass.
#include <span>
#include <string>
#include <string_view>

namespace pelmora::host {

enum class ProgramAction { Run, Help, Version, Error };

struct ProgramOptions {
  ProgramAction action = ProgramAction::Run;
  bool demo = false;        // "--demo": the simulated synthesizer, no device
  int scale = 0;            // "--scale N": the first scale; 0: chosen for the screen
  std::string recordPath;   // "--record FILE": empty when not recording
  std::string replayPath;   // "--replay FILE": a trace shown instead of a device; empty: none
  std::string error;        // one line naming the problem, when action is Error
};

// The exit status for a command line that was not understood.
inline constexpr int kUsageExitCode = 2;

// `args` excludes the program's own name. Arguments are UTF-8.
ProgramOptions parseProgramOptions(std::span<const std::string> args);

// What "--help" says of the options, for the program as the user starts it
// ("Pelmora.exe"); each system adds its own keys and menus.
std::string programHelpText(std::string_view program);
// "Pelmora 2026-10-17".
std::string programVersionText();

}  // namespace pelmora::host
