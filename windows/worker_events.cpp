#include "windows/worker_events.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <utility>

#include "core/protocol/session_engine.h"

namespace pelmora {
namespace {

// A failed wait returns at once, every time: read as "no stop", it would
// turn every pause of the worker into a busy loop, and the stop would
// never be seen.
bool stopOrThrow(DWORD result) {
  if (result == WAIT_FAILED) throw std::runtime_error("Event wait failed");
  return result == WAIT_OBJECT_0;
}

// A timed wait that ends this much after its time shows a coarse system
// timer (a whole 15.6 ms tick nobody asked to be finer), not a busy moment.
constexpr auto kCoarseTimerOvershoot = std::chrono::milliseconds(4);
// Coarse timer overshoots in a row after which the quiet part is given up.
constexpr int kCoarseTimerVerdict = 3;
// The longest quiet part slept here. A timed wait ends late, by up to a tick
// on a coarse timer and by about a millisecond under load, while the read's
// event ends a wait as the report lands; so the report that completes a
// longer message is waited for on the event, at the cost of a wake-up or
// two more per message.
constexpr std::uint32_t kQuietPartMaxMs = 2;

// Whether sleeping through a signal's quiet part still pays: on a coarse
// timer the quiet part would last up to a tick and keep the frame it
// precedes off the screen that long, so from then on every report ends the
// wait instead (more wake-ups, no lateness).
class QuietPart {
 public:
  bool honoured() const { return overshoots_ < kCoarseTimerVerdict; }
  void measured(std::chrono::steady_clock::duration waited, std::uint32_t ms) {
    const bool late = waited > std::chrono::milliseconds(ms) + kCoarseTimerOvershoot;
    overshoots_ = late ? overshoots_ + 1 : 0;
  }

 private:
  int overshoots_ = 0;
};

// Waits on stop, wake (when not null) and `readEvent` (when not null);
// the system's answer, with a refused wait thrown as in every wait.
DWORD waitOnEvents(const Win32Api& calls, HANDLE stopEvent, HANDLE wakeEvent, HANDLE readEvent, std::uint32_t ms) {
  std::array<HANDLE, 3> events{stopEvent};
  DWORD count = 1;
  for (HANDLE event : {wakeEvent, readEvent}) {
    if (event != nullptr) events[count++] = event;
  }
  const DWORD result = calls.waitForMultipleObjects(count, events.data(), FALSE, ms);
  stopOrThrow(result);
  return result;
}

}  // namespace

WaitFunction eventWait(HANDLE stopEvent, HANDLE wakeEvent, const Win32Api& api) {
  const Win32Api* calls = &api;
  if (wakeEvent == nullptr) {
    return [calls, stopEvent](std::uint32_t ms) { return stopOrThrow(calls->waitForSingleObject(stopEvent, ms)); };
  }
  return [calls, stopEvent, wakeEvent](std::uint32_t ms) {
    const std::array<HANDLE, 2> events{stopEvent, wakeEvent};
    return stopOrThrow(calls->waitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, ms));
  };
}

ReportWaitFunction eventReportWait(HANDLE stopEvent, HANDLE wakeEvent, const Win32Api& api) {
  const auto quiet = std::make_shared<QuietPart>();
  const Win32Api* calls = &api;
  return [quiet, calls, stopEvent, wakeEvent](std::uint32_t ms, const ReportSignal& signal) {
    using Kind = ReportSignal::Kind;
    if (signal.kind != Kind::event) {
      const std::uint32_t limit = signal.kind == Kind::dueIn ? signal.dueEndMs() : kIdleWaitMs;
      return waitOnEvents(*calls, stopEvent, wakeEvent, nullptr, std::min(ms, limit)) == WAIT_OBJECT_0;
    }
    if (signal.quietMs > 0 && quiet->honoured()) {
      const std::uint32_t quietMs = std::min({ms, signal.quietMs, kQuietPartMaxMs});
      const auto start = std::chrono::steady_clock::now();
      const DWORD result = waitOnEvents(*calls, stopEvent, wakeEvent, nullptr, quietMs);
      // Stop, or the wake event, which ends the whole wait as a report would.
      if (result != WAIT_TIMEOUT) return result == WAIT_OBJECT_0;
      quiet->measured(std::chrono::steady_clock::now() - start, quietMs);
      ms -= quietMs;
      if (ms == 0) return false;
    }
    const HANDLE readEvent = reinterpret_cast<HANDLE>(signal.handle);
    return waitOnEvents(*calls, stopEvent, wakeEvent, readEvent, ms) == WAIT_OBJECT_0;
  };
}

ResumeCallback eventResumePoll(HANDLE resumeEvent) {
  if (resumeEvent == nullptr) return {};
  return [resumeEvent] {
    if (WaitForSingleObject(resumeEvent, 0) != WAIT_OBJECT_0) return false;
    ResetEvent(resumeEvent);
    return true;
  };
}

namespace {

// The events serve the report wait too, unless the caller brought a wait of
// its own (a scripted clock), which the events would bypass.
ConnectionHooks withEventReportWait(ConnectionHooks hooks, HANDLE stopEvent, HANDLE wakeEvent) {
  if (!hooks.waitForReport && !hooks.wait) hooks.waitForReport = eventReportWait(stopEvent, wakeEvent);
  return hooks;
}

}  // namespace

ConnectionWorker::ConnectionWorker(void* stopEvent, FrameCallback onFrame, void* wakeEvent, void* resumeEvent,
                                   ModelCallback onModel, RawReportCallback onRawReport, ConnectionHooks hooks,
                                   SerialCallback onSerialChanged)
    : ConnectionWorker(eventWait(stopEvent, wakeEvent), std::move(onFrame), std::move(onModel),
                       std::move(onRawReport), withEventReportWait(std::move(hooks), stopEvent, wakeEvent),
                       std::move(onSerialChanged), eventResumePoll(resumeEvent)) {}

}  // namespace pelmora
