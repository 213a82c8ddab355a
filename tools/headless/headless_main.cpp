// pelmora_headless: the connection worker against the simulated synthesizer,
// without a window. Writes the frames it is asked for as PNG files and logs
// what the worker showed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "sim/sim_bus.h"
#include "sim/sim_device.h"
#include "sim/virtual_clock.h"
#include "tools/headless/fault_script.h"
#include "tools/png/png_writer.h"

namespace pelmora::headless {
namespace {

constexpr const char* kUsage =
    "Usage: pelmora_headless [--mode N|cycle] [--duration MS] [--clock virtual|real]\n"
    "                        [--shot MS[,MS...]] [--every MS] [--out DIR] [--fault \"MS ACTION ...\"]\n"
    "                        [--faults FILE] [other options]\n";

constexpr const char* kHelp =
    "Runs the connection worker against the simulated synthesizer and writes the\n"
    "frames it shows (LCD pictures and status screens) as PNG files.\n"
    "\n"
    "  --mode N|cycle        page 0..6, or cycle through all seven (default: cycle)\n"
    "  --cycle-ms MS         time on each page while cycling (default: 6000)\n"
    "  --duration MS         length of the run (default: 10000)\n"
    "  --clock virtual|real  simulated time, as fast as it goes (default), or the steady clock\n"
    "  --shot MS[,MS...]     write the frame on show at these times (repeatable)\n"
    "  --every MS            write the frame on show every MS\n"
    "  --last                write the last frame at the end\n"
    "  --out DIR             directory for the PNG files (default: .)\n"
    "  --prefix NAME         file names are NAME_<ms>.png (default: frame)\n"
    "  --scale N             enlarge the pictures N times (default: 1)\n"
    "  --seed N              the simulator's seed (default: 1)\n"
    "  --serial TEXT         the simulated device's serial (default: SIM0001)\n"
    "  --debug-lines         the device sends debug lines\n"
    "  --no-device           start with the device unplugged (\"0 replug\" plugs it in)\n"
    "  --fault \"MS ACTION [ARGS]\"  one fault action (repeatable)\n"
    "  --faults FILE         a fault script, one action per line, # comments\n"
    "  --quiet               log nothing but errors\n"
    "  --help                this text\n"
    "\n"
    "Example: pelmora_headless --duration 20000 --fault \"8000 unplug\" --fault \"12000 replug\" --every 1000 --out shots\n"
    "\n";

struct Options {
  int mode = sim::kCycleModes;
  std::uint32_t cycleMs = 6000;
  std::uint64_t durationMs = 10000;
  bool realClock = false;
  std::vector<std::uint64_t> shots;
  std::uint64_t everyMs = 0;
  bool last = false;
  std::string out = ".";
  std::string prefix = "frame";
  int scale = 1;
  std::uint64_t seed = 1;
  std::string serial = "SIM0001";
  bool debugLines = false;
  bool noDevice = false;
  bool quiet = false;
  std::vector<FaultAction> faults;
};

[[noreturn]] void usageError(const std::string& message) {
  std::cerr << "pelmora_headless: " << message << "\n" << kUsage;
  std::exit(2);
}

std::uint64_t parseNumber(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  std::uint64_t value = 0;
  try {
    value = std::stoull(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) usageError(option + " expects a number, not \"" + text + "\"");
  return value;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) usageError("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Options parseOptions(int argc, char** argv) {
  Options o;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) usageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--help") {
      std::cout << kUsage << "\n" << kHelp << faultScriptHelp();
      std::exit(0);
    } else if (a == "--mode") {
      const std::string& v = value();
      o.mode = v == "cycle" ? sim::kCycleModes : static_cast<int>(parseNumber(a, v));
      if (o.mode != sim::kCycleModes && o.mode >= static_cast<int>(kModeCount)) usageError("--mode is 0..6 or cycle");
    } else if (a == "--cycle-ms") {
      o.cycleMs = static_cast<std::uint32_t>(parseNumber(a, value()));
    } else if (a == "--duration") {
      o.durationMs = parseNumber(a, value());
    } else if (a == "--clock") {
      const std::string& v = value();
      if (v != "virtual" && v != "real") usageError("--clock is virtual or real");
      o.realClock = v == "real";
    } else if (a == "--shot") {
      std::stringstream list(value());
      for (std::string item; std::getline(list, item, ',');) o.shots.push_back(parseNumber(a, item));
    } else if (a == "--every") {
      o.everyMs = parseNumber(a, value());
    } else if (a == "--last") {
      o.last = true;
    } else if (a == "--out") {
      o.out = value();
    } else if (a == "--prefix") {
      o.prefix = value();
    } else if (a == "--scale") {
      o.scale = static_cast<int>(parseNumber(a, value()));
      if (o.scale < 1 || o.scale > 16) usageError("--scale is 1..16");
    } else if (a == "--seed") {
      o.seed = parseNumber(a, value());
    } else if (a == "--serial") {
      o.serial = value();
    } else if (a == "--debug-lines") {
      o.debugLines = true;
    } else if (a == "--no-device") {
      o.noDevice = true;
    } else if (a == "--fault" || a == "--faults") {
      try {
        const std::string& v = value();
        for (FaultAction& f : a == "--fault" ? std::vector{parseFaultLine(v)} : parseFaultScript(readFile(v))) {
          o.faults.push_back(std::move(f));
        }
      } catch (const std::invalid_argument& e) {
        usageError(e.what());
      }
    } else if (a == "--quiet") {
      o.quiet = true;
    } else {
      usageError("unknown option " + a);
    }
  }
  std::stable_sort(o.faults.begin(), o.faults.end(),
                   [](const FaultAction& x, const FaultAction& y) { return x.atMs < y.atMs; });
  std::sort(o.shots.begin(), o.shots.end());
  return o;
}

std::u16string utf16(const std::string& text) { return {text.begin(), text.end()}; }

std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

class Runner {
 public:
  explicit Runner(const Options& options) : o_(options) {
    if (o_.realClock) {
      clock_ = std::make_unique<sim::RealClock>();
    } else {
      clock_ = std::make_unique<sim::VirtualClock>();
    }
    bus_.setClock(*clock_);
    sim::DeviceConfig config;
    config.seed = o_.seed;
    config.fixedMode = o_.mode;
    config.modeCycleMs = o_.cycleMs;
    config.debugLines = o_.debugLines;
    path_ = u"/sim/" + utf16(o_.serial);
    bus_.addDevice(path_, utf16(o_.serial), config);
    if (o_.noDevice) bus_.unplug(path_);

    ConnectionHooks hooks = bus_.hooks(*clock_);
    hooks.wait = [this](std::uint32_t ms) { return wait(ms); };
    worker_ = std::make_unique<ConnectionWorker>(
        nullptr, [this](const OutputFrame& frame) { onFrame(frame); },
        nullptr, nullptr, hooks,
        [this](const std::u16string& serial) {
          log("serial \"" + std::string(serial.begin(), serial.end()) + "\"");
        },
        [this] { return std::exchange(resumePending_, false); });
    worker_->setStatusObserver([this](const std::string& text) { statusText_ = text; });
  }

  int run() {
    start_ = clock_->now();
    nextEvery_ = o_.everyMs;
    worker_->run();
    if (o_.last) write(elapsed());
    const WorkerStatistics& s = worker_->statistics();
    if (!o_.quiet) {
      std::printf("%llu ms: %llu LCD frames, %llu status screens, %zu files; frames %llu states %llu images %llu "
                  "sessions %llu heartbeats %llu failures %llu; max loop gap %llu ms, max read burst %llu ms\n",
                  ull(elapsed()), ull(lcdFrames_), ull(statusFrames_), written_, ull(s.frames), ull(s.states),
                  ull(s.images), ull(s.sessions), ull(s.heartbeats), ull(s.failures), ull(s.maxLoopGapMs),
                  ull(s.maxReadBurstMs));
    }
    return failedWrites_ == 0 ? 0 : 1;
  }

 private:
  static unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }
  std::uint64_t elapsed() { return clock_->now() - start_; }

  void log(const std::string& what) {
    if (!o_.quiet) std::printf("%8llu ms  %s\n", ull(elapsed()), what.c_str());
  }

  // Waits in short slices so that faults and shots land on time and the
  // run ends at its duration, whatever the worker is waiting for.
  bool wait(std::uint32_t ms) {
    for (;;) {
      dueWork();
      if (elapsed() >= o_.durationMs) return true;
      if (ms == 0) return false;
      const std::uint32_t slice = std::min<std::uint32_t>(ms, 10);
      clock_->wait(slice);
      ms -= slice;
    }
  }

  void dueWork() {
    const std::uint64_t t = elapsed();
    while (nextFault_ < o_.faults.size() && o_.faults[nextFault_].atMs <= t) {
      const FaultAction& action = o_.faults[nextFault_++];
      log("fault: " + action.line);
      FaultTarget target{bus_, path_, resumePending_};
      try {
        applyFault(action, target);
      } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "pelmora_headless: %s\n", e.what());
      }
    }
    while (nextShot_ < o_.shots.size() && o_.shots[nextShot_] <= t) write(o_.shots[nextShot_++]);
    if (o_.everyMs != 0 && t >= nextEvery_) {
      write(nextEvery_);
      while (nextEvery_ <= t) nextEvery_ += o_.everyMs;
    }
  }

  void onFrame(const OutputFrame& frame) {
    frame_ = frame;
    if (statusText_.empty()) {
      if (lcdFrames_++ == 0 || lastWasStatus_) log("LCD frames");
      lastWasStatus_ = false;
      return;
    }
    ++statusFrames_;
    lastWasStatus_ = true;
    log("status \"" + printable(statusText_) + "\"");
    statusText_.clear();
  }

  void write(std::uint64_t atMs) {
    const std::string file = o_.out + "/" + o_.prefix + "_" + std::to_string(atMs) + ".png";
    if (writePng(file, frame_, o_.scale)) {
      ++written_;
      log("wrote " + file);
    } else {
      ++failedWrites_;
      std::fprintf(stderr, "pelmora_headless: cannot write %s\n", file.c_str());
    }
  }

  const Options& o_;
  std::unique_ptr<sim::SimClock> clock_;
  sim::SimBus bus_;
  std::u16string path_;
  std::unique_ptr<ConnectionWorker> worker_;
  OutputFrame frame_{};
  std::string statusText_;  // of the status screen the next frame shows
  bool lastWasStatus_ = true;
  bool resumePending_ = false;
  std::uint64_t start_ = 0;
  std::size_t nextFault_ = 0;
  std::size_t nextShot_ = 0;
  std::uint64_t nextEvery_ = 0;
  std::uint64_t lcdFrames_ = 0;
  std::uint64_t statusFrames_ = 0;
  std::size_t written_ = 0;
  std::size_t failedWrites_ = 0;
};

}  // namespace
}  // namespace pelmora::headless

int main(int argc, char** argv) {
  using namespace pelmora::headless;
  const Options options = parseOptions(argc, argv);
  try {
    return std::make_unique<Runner>(options)->run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pelmora_headless: the worker ended: %s\n", e.what());
    return 1;
  }
}
