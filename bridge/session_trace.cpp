#include "bridge/session_trace.h"

#include "core/transport/platform.h"

namespace pelmora {

void recordSession(SessionBridgeOptions& options, const trace::TraceRecording& recording) {
  // The scan of long pauses stays unrecorded: it only cuts a wait short, and
  // the wait's answer and the clock are in the trace.
  if (!options.scan) options.scan = options.hooks.enumerate ? options.hooks.enumerate : DeviceScan(enumerateDevices);
  options.hooks = recording.wrap(std::move(options.hooks));
  options.wrapWait = [&recording](WaitFunction wait) { return recording.wrapWait(std::move(wait)); };
  options.wrapResume = [&recording](ResumeCallback poll) { return recording.wrapResume(std::move(poll)); };
  options.wrapRandom = [&recording](RandomSource random) { return recording.wrapRandom(std::move(random)); };
}

}  // namespace pelmora
