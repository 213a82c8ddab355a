#include "linux/app/app_options.h"

#include <optional>
#include <string_view>

#include "linux/app/window_geometry.h"
#include "linux/app/window_title.h"
#include "trace/trace_writer.h"

namespace pelmora::app {
namespace {

// The options that take a value, as "--name VALUE" or "--name=VALUE".
enum class Valued { Scale, Serial, Record, Replay };

std::optional<Valued> valuedOption(std::string_view name) {
  if (name == "--scale") return Valued::Scale;
  if (name == "--serial") return Valued::Serial;
  if (name == "--record") return Valued::Record;
  if (name == "--replay") return Valued::Replay;
  return std::nullopt;
}

std::optional<int> parseScale(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' + kMinScale || text[0] > '0' + kMaxScale) return std::nullopt;
  return text[0] - '0';
}

// Sets the option's value; an error text when it is not acceptable.
std::string take(AppOptions& options, Valued option, std::string_view name, std::string_view value) {
  if (value.empty()) return "option '" + std::string(name) + "' needs a non-empty value";
  switch (option) {
    case Valued::Scale: {
      const auto scale = parseScale(value);
      if (!scale) return "invalid scale '" + std::string(value) + "' (1 to 6)";
      options.scale = *scale;
      return {};
    }
    case Valued::Serial: options.serial = value; return {};
    case Valued::Record: options.record = value; return {};
    case Valued::Replay: options.replay = value; return {};
  }
  return {};
}

// Combinations that ask for two sources at once.
std::string conflict(const AppOptions& o) {
  if (!o.replay.empty() && o.demo) return "--replay and --demo each replace the device; choose one";
  if (!o.replay.empty() && !o.record.empty()) return "--record needs a device (or --demo), not --replay";
  if (!o.serial.empty() && (o.demo || !o.replay.empty())) return "--serial chooses a real synthesizer; it does not go with --demo or --replay";
  if (o.print && o.replay.empty()) return "--print goes with --replay FILE";
  return {};
}

}  // namespace

AppOptions parseOptions(int argc, const char* const* argv) {
  AppOptions options;
  auto refuse = [&options](std::string error) {
    // The first problem is the one reported; keep scanning, since a later
    // --help still answers with the help text.
    if (options.action != AppAction::Error) options.error = std::move(error);
    options.action = AppAction::Error;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const std::string_view name = arg.substr(0, equals);
    if (const auto valued = valuedOption(name)) {
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < argc && argv[i + 1]) {
        value = argv[++i];
      } else {
        refuse("option '" + std::string(name) + "' needs a value");
        continue;
      }
      std::string error = take(options, *valued, name, value);
      if (!error.empty()) refuse(std::move(error));
    } else if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--print") {
      options.print = true;
    } else if (arg == "--on-top") {
      options.onTop = true;
    } else if (arg == "--list") {
      if (options.action == AppAction::Run) options.action = AppAction::List;
    } else if (arg == "--help" || arg == "-h") {
      // Help and version win over everything else on the line, as usual.
      options.action = AppAction::Help;
      return options;
    } else if (arg == "--version") {
      options.action = AppAction::Version;
      return options;
    } else {
      refuse(arg.starts_with("-") ? "unrecognized option '" + std::string(arg) + "'"
                                  : "unexpected argument '" + std::string(arg) + "'");
    }
  }
  if (options.action == AppAction::Run) {
    std::string error = conflict(options);
    if (!error.empty()) refuse(std::move(error));
  }
  return options;
}

std::string usageText(const std::string& program) {
  return "Usage: " + program +
         " [OPTION]...\n"
         "Shows the LCD of a Tonverra mini synthesizer attached over USB in a small window.\n"
         "\n"
         "  --scale N        start at scale N, 1 to 6 (default: 2, or 1 on a small screen)\n"
         "  --on-top         start always on top of other windows\n"
         "  --serial SERIAL  show only the synthesizer with this serial number\n"
         "                   (one window per synthesizer)\n"
         "  --list           list the synthesizers found, whether this user may open\n"
         "                   them and how to fix it when not, then exit\n"
         "  --record FILE    also write a trace of the session to FILE: every answer the\n"
         "                   device and the system gave, up to " + std::to_string(trace::TraceWriter::kDefaultLimitMiB) + " MB (for bug reports)\n"
         "  --replay FILE    show the trace or capture FILE in the window at its recorded\n"
         "                   pace, as its user saw it\n"
         "  --print          with --replay: print a summary (status texts with their\n"
         "                   times, sessions, failures, how it ended) instead\n"
         "  --demo           show a simulated synthesizer instead of a real one\n"
         "  -h, --help       show this help and exit\n"
         "  --version        show the version and exit\n"
         "\n"
         "Right-click the picture (or press the Menu key or Shift+F10) for scale,\n"
         "always-on-top and exit. Ctrl+C copies the picture, Ctrl+S saves it as PNG\n"
         "(the title says where).\n"
         "\n"
         "Exit status: 0 when all went well, 1 when the program could not start or the\n"
         "file is not a trace or capture, " + std::to_string(kUsageExitCode) +
         " for a command line it did not understand;\n"
         "with --replay also " + std::to_string(kReplayDiffersExitCode) +
         " when this program differs from the one that recorded the\n"
         "trace, " + std::to_string(kReplayDamagedExitCode) + " when the file is damaged.\n"
         "More in 'man pelmora'.\n";
}

std::string versionText() { return std::string("pelmora ") + kProgramVersion + "\n"; }

std::string errorLine(const std::string& program, const std::string& error) {
  return program + ": " + error + "\n";
}

std::string usageErrorLine(const std::string& program, const std::string& error) {
  return program + ": " + error + " (try '" + program + " --help')\n";
}

}  // namespace pelmora::app
