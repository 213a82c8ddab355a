#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "bridge/session_bridge.h"
#include "core/transport/platform.h"
#include "linux/app/app_options.h"
#include "linux/app/capture_source.h"
#include "linux/app/device_filter.h"
#include "linux/app/device_listing.h"
#include "linux/app/lcd_window.h"
#include "linux/app/replay_view.h"
#include "linux/app/resume_monitor.h"
#include "linux/app/translation.h"
#include "linux/hidraw_discovery.h"
#include "linux/hidraw_node_events.h"
#include "linux/utf16_conversion.h"
#include "sim/demo_synth.h"
#include "trace/trace_reader.h"
#include "trace/trace_recording.h"
#include "trace/trace_replay.h"

namespace {

using namespace pelmora;
using namespace pelmora::app;

constexpr const char* kProgram = "pelmora";
// The worker gets this long to close its session after the window went.
constexpr std::chrono::milliseconds kShutdownBudget{1900};
constexpr std::chrono::milliseconds kShutdownPoll{5};
constexpr int kStartupFailure = 1;
constexpr int kNothingFound = 1;  // --list found no synthesizer
// An X server first, also on a Wayland desktop that offers one (XWayland):
// only there can the window stay on top and the picture go through shared
// memory. GDK_BACKEND still chooses among these when set.
constexpr const char* kBackendOrder = "x11,*";
constexpr guint kRecordingCheckSeconds = 1;
// Followed by the system's reason, which stays in English.
constexpr const char* kRecordingFailedText = translatable("Recording failed:");

// Ctrl+C in a terminal, a logout or `kill` end the program the same way as
// closing its window, so that an open session is closed properly.
gboolean onQuitSignal(gpointer) {
  gtk_main_quit();
  return G_SOURCE_REMOVE;
}

void quitOnSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) g_unix_signal_add(signal, onQuitSignal, nullptr);
}

// True when the worker ended within the budget.
bool stopAndWait(SessionBridge& session) {
  session.stop();
  const auto deadline = std::chrono::steady_clock::now() + kShutdownBudget;
  while (!session.finished()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kShutdownPoll);
  }
  return true;
}

void warn(const std::string& message) { std::fputs(errorLine(kProgram, message).c_str(), stderr); }

int listDevices(const AppOptions& options) {
  DeviceList devices = enumerateDevices();
  if (!options.serial.empty()) devices = onlySerial(devices, utf8ToUtf16(options.serial));
  std::fputs(deviceListing(devices, probeAccess).c_str(), stdout);
  return devices.empty() ? kNothingFound : 0;
}

// What the window shows instead of an attached synthesizer, if anything.
// Everything here must outlive the session's worker; on a late worker the
// process ends without destroying any of it.
struct Sources {
  trace::Recording trace;  // --replay of a trace; read by the worker
  std::unique_ptr<CaptureSource> replay;
  std::unique_ptr<trace::ProgramRecording> recording;
  SessionBridgeOptions bridgeOptions;
};

// False, with the reason already printed, when the window must not start.
// `replay`: what --replay read.
bool prepareSources(const AppOptions& options, trace::Recording replay, Sources& sources) {
  if (options.demo) {
    sources.bridgeOptions.hooks = sim::demoHooks();
  } else if (replay.kind == trace::RecordingKind::trace) {
    sources.trace = std::move(replay);
    sources.bridgeOptions.replay = &sources.trace;
  } else if (!options.replay.empty()) {
    sources.replay = std::make_unique<CaptureSource>(std::move(replay.capture));
    sources.bridgeOptions = sources.replay->bridgeOptions();
  } else {
    // Pauses sleep until a node changes instead of scanning twice a second.
    sources.bridgeOptions.deviceEvents = HidrawNodeEvents::create(kDevRoot);
  }
  if (!options.serial.empty()) showOnlySerial(sources.bridgeOptions, utf8ToUtf16(options.serial));
  if (!options.record.empty()) {
    sources.recording = std::make_unique<trace::ProgramRecording>(options.record);
    if (!sources.recording->recorder()) {
      warn(sources.recording->takeFailure());
      return false;
    }
    sources.bridgeOptions.recorder = sources.recording->recorder();
  }
  return true;
}

// A recording that stops writing says so in the title, where it stays: a
// window started from a menu has no terminal to tell.
class RecordingWatch {
 public:
  RecordingWatch(trace::ProgramRecording* recording, LcdWindow& window) : recording_(recording), window_(window) {
    if (recording_) source_ = g_timeout_add_seconds(kRecordingCheckSeconds, &RecordingWatch::check, this);
  }
  ~RecordingWatch() {
    if (source_) g_source_remove(source_);
  }
  RecordingWatch(const RecordingWatch&) = delete;
  RecordingWatch& operator=(const RecordingWatch&) = delete;

 private:
  static gboolean check(gpointer data) {
    auto* self = static_cast<RecordingWatch*>(data);
    const std::string error = self->recording_->takeFailure();
    if (error.empty()) return G_SOURCE_CONTINUE;
    self->window_.showNotice(tr(kRecordingFailedText) + error, true);
    self->source_ = 0;
    return G_SOURCE_REMOVE;
  }

  trace::ProgramRecording* recording_;
  LcdWindow& window_;
  guint source_ = 0;
};

// "123 KB": whole kilobytes, rounded up so that a short trace never reads as 0.
std::string sizeText(std::uintmax_t bytes) {
  constexpr std::uintmax_t kKilobyte = 1024;
  if (bytes < kKilobyte) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  return std::to_string((bytes + kKilobyte - 1) / kKilobyte) + " KB";
}

// Where the trace went, so that a user started from a terminal knows what to
// attach to a bug report.
void tellTraceWritten(const std::string& path) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  std::string line = "trace written to " + path;
  if (!error) line += " (" + sizeText(bytes) + ")";
  warn(line);
}

// Says where the recording went and what went wrong with it, once the worker
// has let go of it (or was given up on: its later calls are dropped).
void finishRecording(const AppOptions& options, trace::ProgramRecording& recording) {
  recording.finish();
  tellTraceWritten(options.record);
  const trace::TraceWriter& recorder = *recording.writer();
  if (const std::string error = recorder.writeError(); !error.empty()) {
    warn("recording to " + options.record + " failed: " + error);
  }
  if (const std::uint64_t lost = recorder.lost(); lost != 0) {
    warn(std::to_string(lost) + " calls were not recorded (the disk did not keep up)");
  }
  if (recorder.limitReached()) warn(options.record + " reached its size bound; the rest was not recorded");
}

// `--replay FILE --print`: the session runs again from the trace, as fast
// as it can, and what it showed is summed up.
int printReplay(const AppOptions& options, const trace::Recording& read) {
  if (read.kind != trace::RecordingKind::trace) {
    std::printf("replay of %s: a capture of %zu reports; it holds no status texts, only pictures: replay it "
                "without --print to see them\n", options.replay.c_str(), read.capture.size());
    return 0;
  }
  const trace::ReplayResult result = trace::replayTrace(read);
  std::fputs(trace::summarizeReplay(read, result, options.replay).c_str(), stdout);
  return replayExitCode(result);
}

int runWindow(const AppOptions& options, Sources& sources) {
  std::unique_ptr<SessionBridge> session;
  try {
    session = std::make_unique<SessionBridge>(std::move(sources.bridgeOptions));
  } catch (const std::system_error& error) {
    std::fputs(errorLine(kProgram, std::string("cannot start the worker: ") + error.what()).c_str(), stderr);
    return kStartupFailure;
  }
  int exitCode = 0;
  {
    ResumeMonitor resumeMonitor([&session] { session->resume(); });
    LcdWindow window(*session);
    const RecordingWatch recordingWatch(sources.recording.get(), window);
    std::unique_ptr<ReplayWatch> replayWatch;
    if (sources.trace.kind == trace::RecordingKind::trace) {
      replayWatch = std::make_unique<ReplayWatch>(*session, sources.trace, options.replay,
                                                  [&window](const std::string& label) { window.setTitleLabel(label); });
    }
    window.show();
    window.applyStartOptions(options.scale, options.onTop);
    if (options.onTop && !window.topmostAvailable()) warn("--on-top: not available on Wayland without an X server");
    quitOnSignals();
    gtk_main();
    if (replayWatch) exitCode = replayWatch->exitCode();
  }
  if (!stopAndWait(*session)) {
    // A worker stuck in a device call would keep the process alive; the
    // window is gone, so end at once, as the user asked. The recording keeps
    // what it has; the worker's later calls are dropped.
    if (sources.recording) finishRecording(options, *sources.recording);
    std::fflush(nullptr);
    _exit(0);
  }
  if (sources.recording) finishRecording(options, *sources.recording);
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  const AppOptions options = parseOptions(argc, argv);
  switch (options.action) {
    case AppAction::Help:
      std::fputs(usageText(kProgram).c_str(), stdout);
      return 0;
    case AppAction::Version:
      std::fputs(versionText().c_str(), stdout);
      return 0;
    case AppAction::Error:
      std::fputs(usageErrorLine(kProgram, options.error).c_str(), stderr);
      return kUsageExitCode;
    case AppAction::List:
      return listDevices(options);
    case AppAction::Run:
      break;
  }
  // A recording that cannot be read or a file that cannot be written is
  // refused before any window opens.
  trace::Recording replay;
  if (!options.replay.empty()) {
    replay = trace::readRecordingFile(options.replay);
    if (replay.kind == trace::RecordingKind::refused) {
      warn(replay.error);
      return replay.damaged ? kReplayDamagedExitCode : kStartupFailure;
    }
    if (const std::string cut = trace::describeCut(replay); !cut.empty()) warn(options.replay + ": " + cut);
    if (options.print) return printReplay(options, replay);
  }
  setUpTranslations();
  Sources sources;
  if (!prepareSources(options, std::move(replay), sources)) return kStartupFailure;
  g_set_prgname(kProgram);
  gdk_set_allowed_backends(kBackendOrder);
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs(errorLine(kProgram, "cannot open the display").c_str(), stderr);
    return kStartupFailure;
  }
  return runWindow(options, sources);
}
