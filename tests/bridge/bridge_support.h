#pragma once
// Helpers for driving a SessionBridge from the test thread.
#include <chrono>
#include <functional>

#include "bridge/session_bridge.h"

namespace pelmora::test {

// Polls `condition` every millisecond; false when `limit` passed first.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Stops the bridge and waits for its worker, so nothing the worker uses is
// torn down under it when a test ends early.
void stopAndWait(SessionBridge& bridge);

}  // namespace pelmora::test
