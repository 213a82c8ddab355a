#include "linux/app/app_options.h"

#include <string_view>

#include "linux/app/window_title.h"

namespace pelmora::app {

AppOptions parseOptions(int argc, const char* const* argv) {
  AppOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--help" || arg == "-h") {
      // Help and version win over everything else on the line, as usual.
      options.action = AppAction::Help;
      return options;
    } else if (arg == "--version") {
      options.action = AppAction::Version;
      return options;
    } else {
      options.action = AppAction::Error;
      options.error = arg.starts_with("-") ? "unrecognized option '" + std::string(arg) + "'"
                                           : "unexpected argument '" + std::string(arg) + "'";
      // Keep scanning: a later --help still answers with the help text.
    }
  }
  return options;
}

std::string usageText(const std::string& program) {
  return "Usage: " + program +
         " [--demo]\n"
         "Shows the LCD of a Tonverra mini synthesizer attached over USB in a small window.\n"
         "\n"
         "  --demo      show a simulated synthesizer instead of a real one\n"
         "  -h, --help  show this help and exit\n"
         "  --version   show the version and exit\n"
         "\n"
         "Right-click the picture (or press the Menu key or Shift+F10) for scale,\n"
         "always-on-top and exit. Ctrl+C copies the picture, Ctrl+S saves it as PNG.\n";
}

std::string versionText() { return std::string("pelmora ") + kProgramVersion + "\n"; }

std::string errorLine(const std::string& program, const std::string& error) {
  return program + ": " + error + "\n";
}

std::string usageErrorLine(const std::string& program, const std::string& error) {
  return program + ": " + error + " (try '" + program + " --help')\n";
}

}  // namespace pelmora::app
