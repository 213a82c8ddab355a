#pragma once
// The command line the Windows and macOS programs take. Both are started
// from a desktop far more often than from a shell, so anything they do not
// know is ignored rather than refused: macOS adds its own "-psn_..." and
// "-NS... value" arguments, and a shortcut may carry stale ones.
#include <span>
#include <string>
#include <string_view>

namespace pelmora::host {

struct ProgramOptions {
  bool demo = false;        // "--demo": the simulated synthesizer, no device
  std::string recordPath;   // "--record FILE": empty when not recording
};

// `args` excludes the program's own name. Arguments are UTF-8.
ProgramOptions parseProgramOptions(std::span<const std::string> args);

}  // namespace pelmora::host
