#include "windows/app/connection_thread.h"

#include <memory>

#include "core/protocol/connection_worker.h"
#include "sim/demo_synth.h"
#include "windows/app/app_state.h"
#include "trace/trace_recording.h"
#include "windows/app/worker_hooks.h"
#include "windows/worker_events.h"

namespace pelmora::winapp {
namespace {

// `--demo`: the simulated synthesizer instead of the system's devices.
ConnectionHooks hooksFor(AppState& state) { return state.demo ? sim::demoHooks() : workerHooks(state); }

// The worker's event form, spelled out so that a trace can record what the
// events answer.
std::unique_ptr<ConnectionWorker> recordingWorker(AppState& state, FrameCallback onFrame, SerialCallback onSerial) {
  const trace::TraceRecording recording(*state.trace);
  auto worker = std::make_unique<ConnectionWorker>(
      recording.wrapWait(eventWait(state.stopEvent, state.wakeEvent)), std::move(onFrame), ModelCallback{},
      RawReportCallback{}, recording.wrap(hooksFor(state)), std::move(onSerial),
      recording.wrapResume(eventResumePoll(state.resumeEvent)));
  worker->setRandomSource(recording.wrapRandom({}));
  return worker;
}

void runWorker(AppState& state) {
  FrameCallback onFrame = [&state](const OutputFrame& frame) { publishFrame(state, frame); };
  SerialCallback onSerial = [&state](const std::u16string& serial) { publishSerial(state, serial); };
  auto worker = state.trace ? recordingWorker(state, std::move(onFrame), std::move(onSerial))
                            : std::make_unique<ConnectionWorker>(state.stopEvent, std::move(onFrame), state.wakeEvent,
                                                                 state.resumeEvent, ModelCallback{},
                                                                 RawReportCallback{}, hooksFor(state),
                                                                 std::move(onSerial));
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
