#pragma once
// `--demo`: one simulated synthesizer on a simulated bus, running on the
// real clock and cycling through every page of its display, so the program
// can be tried without the hardware.
#include "core/protocol/connection_worker.h"

namespace pelmora::sim {

inline constexpr char16_t kDemoPath[] = u"demo:0";
inline constexpr char16_t kDemoSerial[] = u"DEMO0001";

// The worker's enumerate, createTransport and now, served by a new simulated
// synthesizer that lives as long as any copy of these hooks, so a worker
// that outlives its window still has it. The bus is used only from the
// worker's thread. There is no wait hook: the host's own wait keeps seeing
// stop, wake and resume, and the device catches up with the clock whenever
// the session reads from it.
ConnectionHooks demoHooks();

}  // namespace pelmora::sim
