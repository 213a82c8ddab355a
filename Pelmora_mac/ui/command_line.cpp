#include "Pelmora_mac/ui/command_line.h"

#include <string_view>
#include <vector>

#include "Pelmora_mac/ui/window_geometry.h"
#include "host/window_title.h"

namespace pelmora::mac {
namespace {

constexpr std::u16string_view kVersionPrefix = u"Pelmora Ver ";

bool isSystemArgument(std::string_view arg) { return arg.starts_with("-psn_"); }
bool isSystemDefault(std::string_view arg) { return arg.starts_with("-NS") || arg.starts_with("-Apple"); }

int parseScale(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' + kMinScale || text[0] > '0' + kMaxScale) return 0;
  return text[0] - '0';
}

// What the options take a value from: "--name value" or "--name=value".
std::string_view valueOf(std::span<const std::string> args, std::size_t& i, std::size_t equals) {
  const std::string_view arg = args[i];
  if (equals != std::string_view::npos) return arg.substr(equals + 1);
  return i + 1 < args.size() ? std::string_view(args[++i]) : std::string_view();
}

}  // namespace

CommandLine readCommandLine(std::span<const std::string> args) {
  CommandLine line;
  std::vector<std::string> shared;  // handed on to the shared reader
  auto refuse = [&line](std::string error) {
    // The first problem is the one told; a later --help still answers.
    if (line.action != CommandLineAction::Refuse) line.error = std::move(error);
    line.action = CommandLineAction::Refuse;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const std::string_view name = arg.substr(0, equals);
    if (name == "--record" || name == "--scale") {
      const std::string_view value = valueOf(args, i, equals);
      if (value.empty()) {
        refuse("option '" + std::string(name) + "' needs a value");
      } else if (name == "--record") {
        shared.insert(shared.end(), {"--record", std::string(value)});
      } else if ((line.scale = parseScale(value)) == 0) {
        refuse("invalid scale '" + std::string(value) + "' (1 to 6)");
      }
    } else if (arg == "--demo") {
      shared.emplace_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      line.action = CommandLineAction::Help;
      return line;
    } else if (arg == "--version") {
      line.action = CommandLineAction::Version;
      return line;
    } else if (isSystemDefault(arg) && i + 1 < args.size()) {
      ++i;
    } else if (!isSystemArgument(arg)) {
      refuse(arg.starts_with("-") ? "unrecognized option '" + std::string(arg) + "'"
                                  : "unexpected argument '" + std::string(arg) + "'");
    }
  }
  line.options = host::parseProgramOptions(shared);
  return line;
}

std::string helpText() {
  return "Usage: Pelmora_mac [OPTION]...\n"
         "   or: open -a Pelmora_mac --args [OPTION]...\n"
         "Shows the LCD of a Tonverra mini synthesizer attached over USB in a small window.\n"
         "\n"
         "  --scale N        start at scale N, 1 to 6 (default: 2, or 1 on a small screen)\n"
         "  --record FILE    also write a trace of the first window's session to FILE\n"
         "                   (for bug reports)\n"
         "  --demo           show a simulated synthesizer instead of a real one\n"
         "  -h, --help       show this help and exit\n"
         "  --version        show the version and exit\n"
         "\n"
         "Command-1 ... Command-6 change the scale, Command-C copies the picture,\n"
         "Command-S saves it as PNG in Pictures (the title says where).\n";
}

std::string versionText() {
  std::string text = "Pelmora ";
  for (const char16_t c : host::kTitleBase.substr(kVersionPrefix.size())) text += static_cast<char>(c);  // ASCII
  return text;
}

}  // namespace pelmora::mac
