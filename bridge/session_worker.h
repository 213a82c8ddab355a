#pragma once
// The body of a session's worker thread: runs the supervisor against the
// shared state until stop, and turns whatever ends it into the state's final
// picture and counters. No exception leaves it.
#include <memory>

#include "bridge/session_bridge.h"
#include "bridge/session_state.h"

namespace pelmora {

void runSessionWorker(std::shared_ptr<SessionBridgeState> state, SessionBridgeOptions options);

}  // namespace pelmora
