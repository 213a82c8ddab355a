// The worker's hooks of the event probe build: every device search is
// written to the file named by PELMORA_PROBE_LOG, with whether the resume
// event was set at that moment. A wake shows as a search long before the
// worker's own ten-second cycle; a resume as "resume=1". With
// PELMORA_PROBE_FAIL set, the first search throws, as a worker that fails
// for good would.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "core/transport/platform.h"
#include "windows/app/worker_hooks.h"

namespace pelmora::winapp {

ConnectionHooks workerHooks(AppState& state) {
  ConnectionHooks hooks;
  hooks.enumerate = [&state] {
    if (_wgetenv(L"PELMORA_PROBE_FAIL") != nullptr) throw std::runtime_error("probe: worker failure");
    const bool resumed = WaitForSingleObject(state.resumeEvent, 0) == WAIT_OBJECT_0;
    if (const wchar_t* path = _wgetenv(L"PELMORA_PROBE_LOG")) {
      if (FILE* log = _wfopen(path, L"a")) {
        std::fprintf(log, "search %llu resume=%d\n", static_cast<unsigned long long>(GetTickCount64()),
                     resumed ? 1 : 0);
        std::fclose(log);
      }
    }
    return enumerateDevices();
  };
  return hooks;
}

}  // namespace pelmora::winapp
