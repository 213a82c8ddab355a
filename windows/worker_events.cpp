#include "windows/worker_events.h"

#include <array>
#include <utility>

namespace pelmora {

WaitFunction eventWait(HANDLE stopEvent, HANDLE wakeEvent) {
  if (wakeEvent == nullptr) {
    return [stopEvent](std::uint32_t ms) { return WaitForSingleObject(stopEvent, ms) == WAIT_OBJECT_0; };
  }
  return [stopEvent, wakeEvent](std::uint32_t ms) {
    const std::array<HANDLE, 2> events{stopEvent, wakeEvent};
    return WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, ms) == WAIT_OBJECT_0;
  };
}

ResumeCallback eventResumePoll(HANDLE resumeEvent) {
  if (resumeEvent == nullptr) return {};
  return [resumeEvent] {
    if (WaitForSingleObject(resumeEvent, 0) != WAIT_OBJECT_0) return false;
    ResetEvent(resumeEvent);
    return true;
  };
}

ConnectionWorker::ConnectionWorker(void* stopEvent, FrameCallback onFrame, void* wakeEvent, void* resumeEvent,
                                   ModelCallback onModel, RawReportCallback onRawReport, ConnectionHooks hooks,
                                   SerialCallback onSerialChanged)
    : ConnectionWorker(eventWait(stopEvent, wakeEvent), std::move(onFrame), std::move(onModel),
                       std::move(onRawReport), std::move(hooks), std::move(onSerialChanged),
                       eventResumePoll(resumeEvent)) {}

}  // namespace pelmora
