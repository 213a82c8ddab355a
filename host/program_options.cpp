#include "host/program_options.h"

namespace pelmora::host {

ProgramOptions parseProgramOptions(std::span<const std::string> args) {
  ProgramOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--record" && i + 1 < args.size() && !args[i + 1].empty()) {
      options.recordPath = args[++i];
    } else if (arg.starts_with("--record=") && arg.size() > 9) {
      options.recordPath = std::string(arg.substr(9));
    } else if (arg.starts_with("-NS") && i + 1 < args.size()) {
      ++i;  // Cocoa's own "-NSKey value" defaults: the value is no option
    }
  }
  return options;
}

}  // namespace pelmora::host
