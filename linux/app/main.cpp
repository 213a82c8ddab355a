#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "bridge/session_bridge.h"
#include "linux/app/app_options.h"
#include "linux/app/demo_synth.h"
#include "linux/app/lcd_window.h"
#include "linux/app/resume_monitor.h"

namespace {

using namespace pelmora;
using namespace pelmora::app;

constexpr const char* kProgram = "pelmora";
// The worker gets this long to close its session after the window went.
constexpr std::chrono::milliseconds kShutdownBudget{1900};
constexpr std::chrono::milliseconds kShutdownPoll{5};
constexpr int kStartupFailure = 1;

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

int runWindow(bool demo) {
  // The simulated bus must outlive the worker that drives it; on a late
  // worker the process ends below without destroying either.
  std::unique_ptr<DemoSynth> synth = demo ? std::make_unique<DemoSynth>() : nullptr;
  std::unique_ptr<SessionBridge> session;
  try {
    session = std::make_unique<SessionBridge>(synth ? synth->bridgeOptions() : SessionBridgeOptions{});
  } catch (const std::system_error& error) {
    std::fputs(errorLine(kProgram, std::string("cannot start the worker: ") + error.what()).c_str(), stderr);
    return kStartupFailure;
  }
  {
    ResumeMonitor resumeMonitor([&session] { session->resume(); });
    LcdWindow window(*session);
    window.show();
    quitOnSignals();
    gtk_main();
  }
  if (!stopAndWait(*session)) {
    // A worker stuck in a device call would keep the process alive; the
    // window is gone, so end at once, as the user asked.
    std::fflush(nullptr);
    _exit(0);
  }
  return 0;
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
    case AppAction::Run:
      break;
  }
  g_set_prgname(kProgram);
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs(errorLine(kProgram, "cannot open the display").c_str(), stderr);
    return kStartupFailure;
  }
  return runWindow(options.demo);
}
