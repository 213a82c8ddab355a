#pragma once
// The hooks the program gives its worker. The program itself gives none, so
// the platform's discovery, transport, clock and wait serve; a test build
// links its own definition to watch the worker from outside.
#include "core/protocol/connection_worker.h"
#include "windows/app/app_state.h"

namespace pelmora::winapp {

ConnectionHooks workerHooks(AppState& state);

}  // namespace pelmora::winapp
