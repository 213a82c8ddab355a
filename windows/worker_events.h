#pragma once
// The worker's Windows form: the host's events in place of a wait function
// and a resume poll.
#include <windows.h>

#include "core/protocol/connection_worker.h"
#include "windows/win32_api.h"

namespace pelmora {

// Waits up to the limit on `stopEvent` and, when not null, `wakeEvent`;
// true exactly when `stopEvent` ended the wait. A limit of 0 only tests.
// A wait the system refuses (a broken handle) throws
// std::runtime_error("Event wait failed"), which ends the worker.
WaitFunction eventWait(HANDLE stopEvent, HANDLE wakeEvent, const Win32Api& api = systemWin32Api());

// The same wait with a transport's report signal in it: the read's event
// (`event`) ends it like the wake event; `dueIn` shortens it to the
// report's landing; every other kind waits at most 1 ms. The signal's quiet
// part is slept through without the read's event while timed waits keep
// their time (see the source).
ReportWaitFunction eventReportWait(HANDLE stopEvent, HANDLE wakeEvent, const Win32Api& api = systemWin32Api());

// True once per signal of `resumeEvent` (tested without waiting, reset when
// set); empty when there is no event.
ResumeCallback eventResumePoll(HANDLE resumeEvent);

}  // namespace pelmora
