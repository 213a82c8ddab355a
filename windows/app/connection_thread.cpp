#include "windows/app/connection_thread.h"

#include "core/protocol/connection_worker.h"
#include "sim/demo_synth.h"
#include "windows/app/app_state.h"
#include "trace/trace_recording.h"
#include "windows/app/window_procedure.h"
#include "windows/app/worker_hooks.h"

namespace pelmora::winapp {
namespace {

// `--demo`: the simulated synthesizer instead of the system's devices.
ConnectionHooks hooksFor(AppState& state) { return state.demo ? sim::demoHooks() : workerHooks(state); }

// One message however many frames come before the window handles it.
void tellWindow(AppState& state, bool needed) {
  if (needed) PostMessageW(static_cast<HWND>(state.window), kFrameReadyMessage, 0, 0);
}

void runWorker(AppState& state) {
  FrameCallback onFrame = [&state](const OutputFrame& frame) { tellWindow(state, publishFrame(state, frame)); };
  SerialCallback onSerial = [&state](const std::u16string& serial) { publishSerial(state, serial); };
  ConnectionWorker worker(state.stopEvent, std::move(onFrame), state.wakeEvent, state.resumeEvent, ModelCallback{},
                          RawReportCallback{}, hooksFor(state), std::move(onSerial));
  if (state.recording) worker.setRecorder(state.recording->recorder());
  worker.run();
}

}  // namespace

DWORD WINAPI ConnectionThread(LPVOID parameter) {
  AppState& state = *static_cast<AppState*>(parameter);
  try {
    runWorker(state);
  } catch (...) {
    try {
      tellWindow(state, publishWorkerFailure(state));
    } catch (...) {
      // Out of memory even for the failure screen: the last picture stays.
    }
  }
  return 0;
}

}  // namespace pelmora::winapp
