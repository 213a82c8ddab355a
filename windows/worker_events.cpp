#include "windows/worker_events.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace pelmora {
namespace {

// A failed wait returns at once, every time: read as "no stop", it would
// turn every pause of the worker into a busy loop, and the stop would
// never be seen.
bool stopOrThrow(DWORD result) {
  if (result == WAIT_FAILED) throw std::runtime_error("Event wait failed");
  return result == WAIT_OBJECT_0;
}

}  // namespace

WaitFunction eventWait(HANDLE stopEvent, HANDLE wakeEvent, const Win32Api& api) {
  const Win32Api* calls = &api;
  if (wakeEvent == nullptr) {
    return [calls, stopEvent](std::uint32_t ms) { return stopOrThrow(calls->waitForSingleObject(stopEvent, ms)); };
  }
  return [calls, stopEvent, wakeEvent](std::uint32_t ms) {
    const std::array<HANDLE, 2> events{stopEvent, wakeEvent};
    return stopOrThrow(calls->waitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, ms));
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
