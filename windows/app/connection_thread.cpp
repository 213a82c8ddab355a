#include "windows/app/connection_thread.h"

#include <memory>

#include "core/protocol/connection_worker.h"
#include "sim/demo_synth.h"
#include "windows/app/app_state.h"
#include "windows/app/worker_hooks.h"

namespace pelmora::winapp {
namespace {

void runWorker(AppState& state) {
  auto worker = std::make_unique<ConnectionWorker>(
      state.stopEvent, [&state](const OutputFrame& frame) { publishFrame(state, frame); }, state.wakeEvent,
      state.resumeEvent, ModelCallback{}, RawReportCallback{}, state.demo ? sim::demoHooks() : workerHooks(state),
      [&state](const std::u16string& serial) { publishSerial(state, serial); });
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
