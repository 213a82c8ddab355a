#include "windows/app/connection_thread.h"

#include <memory>

#include "core/protocol/connection_worker.h"
#include "windows/app/app_state.h"
#include "windows/app/worker_hooks.h"

namespace pelmora::winapp {
namespace {

// Until the worker takes the three events itself: the same behaviour through
// its wait function and resume poll.
bool waitForStopOrWake(AppState& state, std::uint32_t ms) {
  HANDLE events[2] = {state.stopEvent, state.wakeEvent};
  return WaitForMultipleObjects(2, events, FALSE, ms) == WAIT_OBJECT_0;
}

bool takeResume(AppState& state) {
  if (WaitForSingleObject(state.resumeEvent, 0) != WAIT_OBJECT_0) return false;
  ResetEvent(state.resumeEvent);
  return true;
}

void runWorker(AppState& state) {
  auto worker = std::make_unique<ConnectionWorker>(
      [&state](std::uint32_t ms) { return waitForStopOrWake(state, ms); },
      [&state](const OutputFrame& frame) { publishFrame(state, frame); }, ModelCallback{}, RawReportCallback{},
      workerHooks(state), [&state](const std::u16string& serial) { publishSerial(state, serial); },
      [&state] { return takeResume(state); });
  worker->run();
}

}  // namespace

DWORD WINAPI ConnectionThread(LPVOID parameter) {
  AppState& state = *static_cast<AppState*>(parameter);
  try {
    runWorker(state);
  } catch (...) {
    try {
      publishWorkerFailure(state);
    } catch (...) {
      // Out of memory even for the failure screen: the last picture stays.
    }
  }
  return 0;
}

}  // namespace pelmora::winapp
