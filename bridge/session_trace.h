#pragma once
// `--record FILE` on a host built on the session bridge (Linux, macOS): the
// worker the bridge starts writes a trace of everything it learns from
// outside.
#include "bridge/session_bridge.h"
#include "trace/trace_recording.h"

namespace pelmora {

// The recording (and its writer) must outlive the session's worker.
void recordSession(SessionBridgeOptions& options, const trace::TraceRecording& recording);

}  // namespace pelmora
