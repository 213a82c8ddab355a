#include "host/program_options.h"

#include <array>

#include "host/window_geometry.h"
#include "host/window_title.h"

namespace pelmora::host {
namespace {

struct OptionHelp {
  std::string_view usage;
  std::string_view text;
};

// The help's one list: an option the programs learn is one row here.
constexpr std::array kOptionHelp = {
    OptionHelp{"--demo", "show a simulated synthesizer instead of a real one"},
    OptionHelp{"--record FILE", "also write a trace of the session to FILE, for a bug report"},
    OptionHelp{"--replay FILE", "show the trace FILE in the window at its recorded pace, as its user saw it"},
    OptionHelp{"--scale N", "start at scale N, 1 to 6 (unasked: 2, or 1 on a small screen)"},
    OptionHelp{"--help", "show this help"},
    OptionHelp{"--version", "show the version"},
};

constexpr std::u16string_view kVersionPrefix = u"Pelmora Ver ";

int parseScale(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' + kMinScale || text[0] > '0' + kMaxScale) return 0;
  return text[0] - '0';
}

bool isSystemArgument(std::string_view arg) { return arg.starts_with("-psn_"); }
// Cocoa's "-NSKey value" and "-AppleKey value" defaults: the value is no option.
bool isSystemDefault(std::string_view arg) { return arg.starts_with("-NS") || arg.starts_with("-Apple"); }

// Sets a valued option; the error text when the value is not acceptable.
std::string takeValue(ProgramOptions& options, std::string_view name, std::string_view value) {
  if (value.empty()) return "option '" + std::string(name) + "' needs a value";
  if (name == "--record") {
    options.recordPath = value;
    return {};
  }
  if (name == "--replay") {
    options.replayPath = value;
    return {};
  }
  options.scale = parseScale(value);
  return options.scale != 0 ? std::string() : "invalid scale '" + std::string(value) + "' (1 to 6)";
}

}  // namespace

ProgramOptions parseProgramOptions(std::span<const std::string> args) {
  ProgramOptions options;
  auto refuse = [&options](std::string error) {
    // The first problem is the one told; a later --help still answers.
    if (options.action != ProgramAction::Error) options.error = std::move(error);
    options.action = ProgramAction::Error;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const std::string_view name = arg.substr(0, equals);
    if (name == "--record" || name == "--replay" || name == "--scale") {
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      std::string error = takeValue(options, name, value);
      if (!error.empty()) refuse(std::move(error));
    } else if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.action = ProgramAction::Help;
      return options;
    } else if (arg == "--version") {
      options.action = ProgramAction::Version;
      return options;
    } else if (isSystemDefault(arg) && i + 1 < args.size()) {
      ++i;
    } else if (!isSystemArgument(arg)) {
      refuse(arg.starts_with("-") ? "unrecognized option '" + std::string(arg) + "'"
                                  : "unexpected argument '" + std::string(arg) + "'");
    }
  }
  if (options.action == ProgramAction::Run && !options.replayPath.empty() &&
      (options.demo || !options.recordPath.empty())) {
    refuse("--replay shows a trace instead of a device; it goes with neither --demo nor --record");
  }
  return options;
}

// Each option on its own line and its text indented below it: a message
// box's proportional font would break columns.
std::string programHelpText(std::string_view program) {
  std::string text = "Usage: " + std::string(program) +
                     " [OPTION]...\n"
                     "Shows the LCD of a Tonverra mini synthesizer attached over USB in a small window.\n";
  for (const OptionHelp& option : kOptionHelp) {
    text += "\n  ";
    text += option.usage;
    text += "\n        ";
    text += option.text;
  }
  text += '\n';
  return text;
}

std::string programVersionText() {
  std::string text = "Pelmora ";
  for (const char16_t c : kTitleBase.substr(kVersionPrefix.size())) text += static_cast<char>(c);  // ASCII
  return text;
}

}  // namespace pelmora::host
