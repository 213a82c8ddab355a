"""usage: instrument.py TREE before|after (a tree from git archive: the one
before the frame message paints from copyFrameForPainting, "after" from AppState::painted).
Adds the bench-only timing log (PELMORA_BENCH_LOG) to a source tree: the
player stamps each FRAME's last report as it sends it, the program stamps
each publish and each paint with the worker's wait count. Not shipped."""
import sys, re
root, variant = sys.argv[1], sys.argv[2]

def edit(path, old, new, count=1):
    p = root + "/" + path
    s = open(p).read()
    assert old in s, (path, old)
    s = s.replace(old, new, count)
    open(p, "w").write(s)

LOG = r'''
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
namespace benchlog {
inline std::atomic<unsigned long long> waits{0};
inline std::atomic<unsigned long long> blocked{0};  // waits that lasted over 0.2 ms
inline FILE* file() {
  static FILE* f = [] { const char* p = std::getenv("PELMORA_BENCH_LOG"); return p ? std::fopen(p, "a") : nullptr; }();
  return f;
}
inline unsigned long long nowUs() {
  LARGE_INTEGER c, f; QueryPerformanceCounter(&c); QueryPerformanceFrequency(&f);
  return (unsigned long long)(c.QuadPart / (f.QuadPart / 1000000));
}
inline void line(const char* tag, unsigned long long n) {
  FILE* f = file(); if (!f) return;
  std::fprintf(f, "%s %llu %llu %llu %llu\n", tag, nowUs(), n, waits.load(), blocked.load()); std::fflush(f);
}
}
'''
open(root + "/core/bench_log.h", "w").write("#pragma once\n" + LOG)
# The worker's sleeps (each ends in one wake-up).
edit("core/protocol/connection_worker.cpp", '#include "core/protocol/connection_worker.h"\n',
     '#include "core/protocol/connection_worker.h"\n#ifdef _WIN32\n#include "core/bench_log.h"\n#endif\n')
edit("core/protocol/connection_worker.cpp", "bool ConnectionWorker::wait(std::uint32_t ms) {\n",
     "bool ConnectionWorker::wait(std::uint32_t ms) {\n#ifdef _WIN32\n  ++benchlog::waits;\n  const auto b0 = benchlog::nowUs();\n#endif\n")
edit("core/protocol/connection_worker.cpp", "  const bool stop = hooks_.wait ? hooks_.wait(ms) : waitFunction_(ms);\n",
     "  const bool stop = hooks_.wait ? hooks_.wait(ms) : waitFunction_(ms);\n"
     "#ifdef _WIN32\n  if (benchlog::nowUs() - b0 > 200) ++benchlog::blocked;\n#endif\n")
edit("core/protocol/connection_worker.cpp", "    const bool stop = hooks_.waitForReport(ms, signal);\n",
     "#ifdef _WIN32\n    ++benchlog::waits;\n    const auto b0 = benchlog::nowUs();\n#endif\n"
     "    const bool stop = hooks_.waitForReport(ms, signal);\n"
     "#ifdef _WIN32\n    if (benchlog::nowUs() - b0 > 200) ++benchlog::blocked;\n#endif\n")
# The player: a FRAME's last report leaves for the host.
edit("tests/windows/simdevice/device_relay.cpp", "    if (!sendFrame(SIMDEVICE_FRAME_INPUT, report.data())) return false;\n",
     "    if (!sendFrame(SIMDEVICE_FRAME_INPUT, report.data())) return false;\n"
     "    if (report[1] == 1 && report[6] + 1 == report[7]) benchlog::line(\"dev\", report[2] | report[3] << 8);\n")
edit("tests/windows/simdevice/device_relay.cpp", '#include "device_relay.h"\n', '#include "device_relay.h"\n#include "core/bench_log.h"\n')
# The program: numbered publishes and paints.
edit("windows/app/app_state.h", "  bool frameDirty = false;\n", "  bool frameDirty = false;\n  unsigned long long published = 0, paintedNumber = 0;\n")
edit("windows/app/app_state.cpp", '#include "windows/app/app_state.h"\n', '#include "windows/app/app_state.h"\n#include "core/bench_log.h"\n')
edit("windows/app/app_state.cpp", "  state.frame = frame;\n", "  state.frame = frame;\n  benchlog::line(\"pub\", ++state.published);\n")
if variant == "after":
    edit("windows/app/app_state.cpp", "  state.painted = state.frame;\n  state.frameDirty = false;\n",
         "  state.painted = state.frame;\n  state.paintedNumber = state.published;\n  state.frameDirty = false;\n")
    edit("windows/app/painting.cpp", "  GdiFlush();\n", "  GdiFlush();\n  benchlog::line(\"paint\", state.paintedNumber);\n")
else:
    edit("windows/app/app_state.cpp", "  out = state.frame;\n", "  out = state.frame;\n  state.paintedNumber = state.published;\n")
    edit("windows/app/painting.cpp", "  GdiFlush();\n", "  GdiFlush();\n  benchlog::line(\"paint\", state.paintedNumber);\n")
edit("windows/app/painting.cpp", '#include "windows/app/painting.h"\n', '#include "windows/app/painting.h"\n#include "core/bench_log.h"\n')
