#include "Pelmora_mac/run_loop_events.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <type_traits>

#include "Pelmora_mac/autorelease_pool.h"

static_assert(std::is_same_v<decltype(&CFRunLoopRunInMode), CFRunLoopRunResult (*)(CFRunLoopMode, CFTimeInterval, Boolean)>);
static_assert(kCFRunLoopRunFinished == 1 && kCFRunLoopRunStopped == 2 && kCFRunLoopRunTimedOut == 3 &&
              kCFRunLoopRunHandledSource == 4);

namespace pelmora {

// The worker's run loop and the source that interrupts it, both retained:
// an interrupt may come after the worker thread, and its loop, have ended.
struct RunLoopDeviceEvents::Loop {
  CFRunLoopRef runLoop = nullptr;
  CFRunLoopSourceRef wakeSource = nullptr;
};

namespace {

// The flag carries the meaning; firing is what ends the run.
void performNothing(void*) {}

}  // namespace

RunLoopDeviceEvents::RunLoopDeviceEvents() = default;

RunLoopDeviceEvents::~RunLoopDeviceEvents() {
  if (!loop_) return;
  CFRunLoopSourceInvalidate(loop_->wakeSource);
  CFRelease(loop_->wakeSource);
  CFRelease(loop_->runLoop);
}

void RunLoopDeviceEvents::joinCurrentLoop() {
  std::lock_guard lock(mutex_);
  if (loop_) return;
  CFRunLoopSourceContext context{};
  context.perform = performNothing;
  CFRunLoopSourceRef source = CFRunLoopSourceCreate(kCFAllocatorDefault, 0, &context);
  if (source == nullptr) return;
  auto loop = std::make_unique<Loop>();
  loop->runLoop = static_cast<CFRunLoopRef>(const_cast<void*>(CFRetain(CFRunLoopGetCurrent())));
  loop->wakeSource = source;
  // Also keeps the mode from being empty, which would end every run at once.
  CFRunLoopAddSource(loop->runLoop, source, kCFRunLoopDefaultMode);
  loop_ = std::move(loop);
}

DeviceEventOutcome RunLoopDeviceEvents::waitFor(std::chrono::nanoseconds timeout, bool watchDevices,
                                                const ReportSignal& report) {
  joinCurrentLoop();
  if (interrupted_.exchange(false)) return DeviceEventOutcome::Interrupted;
  const bool cutForScan = watchDevices && timeout > kRunLoopWatchInterval;
  if (cutForScan) timeout = kRunLoopWatchInterval;
  CFRunLoopRunResult result;
  {
    AutoreleasePool pool;
    result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, std::chrono::duration<double>(timeout).count(), true);
  }
  if (interrupted_.exchange(false)) return DeviceEventOutcome::Interrupted;
  // Any source of the worker's loop is the transport's: a report, a
  // removal or a feature completion, each something the worker must see.
  if (result == kCFRunLoopRunHandledSource && report.kind == ReportSignal::Kind::runLoop) {
    return DeviceEventOutcome::ReportReady;
  }
  return cutForScan && result == kCFRunLoopRunTimedOut ? DeviceEventOutcome::DevicesChanged : DeviceEventOutcome::Quiet;
}

void RunLoopDeviceEvents::interrupt() {
  interrupted_.store(true);
  std::lock_guard lock(mutex_);
  if (!loop_) return;  // the first wait sees the flag
  CFRunLoopSourceSignal(loop_->wakeSource);
  CFRunLoopWakeUp(loop_->runLoop);
}

}  // namespace pelmora
