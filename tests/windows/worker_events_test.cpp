// The worker's Windows form: waits and the resume notice on real events.
#include "windows/worker_events.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "fake_win32.h"

namespace pelmora {
namespace {

struct Event {
  explicit Event(bool manualReset) : handle(CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
  ~Event() { CloseHandle(handle); }
  HANDLE handle;
};

ULONGLONG elapsedMs(ULONGLONG start) { return GetTickCount64() - start; }

TEST(WindowsWorkerWait, StopEndsItWithStopAndWakeWithout) {
  Event stop(true);
  Event wake(false);
  const WaitFunction wait = eventWait(stop.handle, wake.handle);

  ULONGLONG start = GetTickCount64();
  SetEvent(wake.handle);
  EXPECT_FALSE(wait(5000));
  EXPECT_LT(elapsedMs(start), 1000u) << "the wake event cuts the wait short";
  EXPECT_FALSE(wait(0)) << "the wake event resets itself";

  start = GetTickCount64();
  EXPECT_FALSE(wait(40)) << "the limit is no stop";
  EXPECT_GE(elapsedMs(start) + 16, 40u) << "the wait lasts its limit (to the tick)";

  SetEvent(stop.handle);
  SetEvent(wake.handle);
  EXPECT_TRUE(wait(5000)) << "stop wins when both are signalled";
  EXPECT_TRUE(wait(0)) << "stop stays signalled";
}

TEST(WindowsWorkerWait, WithoutAWakeEventOnlyStopCounts) {
  Event stop(true);
  const WaitFunction wait = eventWait(stop.handle, nullptr);
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(wait(40));
  EXPECT_GE(elapsedMs(start) + 16, 40u) << "a real wait, not a failed one on a null handle";
  SetEvent(stop.handle);
  EXPECT_TRUE(wait(5000));
}

TEST(WindowsWorkerWait, AReportWaitEndsOnTheReadsEventAfterItsQuietPart) {
  Event stop(true);
  Event wake(false);
  Event read(true);
  const ReportWaitFunction wait = eventReportWait(stop.handle, wake.handle);
  ReportSignal signal;
  signal.kind = ReportSignal::Kind::event;
  signal.handle = reinterpret_cast<std::intptr_t>(read.handle);
  SetEvent(read.handle);

  ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(wait(5000, signal));
  EXPECT_LT(elapsedMs(start), 1000u) << "a completed read ends the wait";

  signal.quietMs = 400;
  start = GetTickCount64();
  EXPECT_FALSE(wait(5000, signal));
  EXPECT_LT(elapsedMs(start), 200u) << "a long quiet part is cut short: the read's event ends the rest";

  ReportSignal due;
  due.kind = ReportSignal::Kind::dueIn;
  due.dueInMs = 40;
  start = GetTickCount64();
  EXPECT_FALSE(wait(5000, due));
  EXPECT_GE(elapsedMs(start) + 16, 40u);
  EXPECT_LT(elapsedMs(start), 1000u) << "the wait ends at the announced landing";
  start = GetTickCount64();
  EXPECT_FALSE(wait(5000, ReportSignal{}));
  EXPECT_LT(elapsedMs(start), 1000u) << "nothing to sleep on: the short pause";

  SetEvent(stop.handle);
  EXPECT_TRUE(wait(5000, signal)) << "stop wins over the read and ends the quiet part";
}

TEST(WindowsWorkerWait, ResumeIsReportedOncePerSignal) {
  Event resume(true);
  const ResumeCallback poll = eventResumePoll(resume.handle);
  EXPECT_FALSE(poll());
  SetEvent(resume.handle);
  EXPECT_TRUE(poll());
  EXPECT_FALSE(poll()) << "reset when taken";
  EXPECT_FALSE(static_cast<bool>(eventResumePoll(nullptr))) << "no event, no resume";
}

// A broken handle fails every wait at once: read as "no stop", the worker
// would spin a core for good.
TEST(WindowsWorkerWait, AFailedWaitEndsTheWorkerAtTheFirstCall) {
  testing::FakeWin32 fake;
  fake.waitError = ERROR_INVALID_HANDLE;
  Event stop(true);
  Event wake(false);
  for (HANDLE wakeEvent : {wake.handle, HANDLE{}}) {
    ConnectionWorker worker(eventWait(stop.handle, wakeEvent, fake.api()), [](const OutputFrame&) {}, {}, {}, {}, {},
                            {});
    EXPECT_THROW(worker.run(), std::runtime_error);
  }
  EXPECT_EQ(fake.waits, 2);
}

TEST(WindowsWorker, TheEventFormRunsTheSupervisorUntilStop) {
  Event stop(true);
  Event wake(false);
  std::vector<ULONGLONG> enumerations;
  ConnectionHooks hooks;
  hooks.enumerate = [&] {
    enumerations.push_back(GetTickCount64());
    if (enumerations.size() == 1) SetEvent(wake.handle);  // a device arrives during "No Device"
    if (enumerations.size() == 2) SetEvent(stop.handle);
    return DeviceList{};
  };
  int frames = 0;
  ConnectionWorker worker(stop.handle, [&frames](const OutputFrame&) { ++frames; }, wake.handle, nullptr, {}, {},
                          hooks, {});
  const ULONGLONG start = GetTickCount64();
  worker.run();
  EXPECT_LT(elapsedMs(start), 5000u) << "neither 10 s pause was waited out";
  EXPECT_EQ(enumerations.size(), 2u);
  EXPECT_EQ(frames, 2) << "one \"No Device\" screen per pass";
}

}  // namespace
}  // namespace pelmora
