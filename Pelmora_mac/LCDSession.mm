#import "Pelmora_mac/LCDSession.h"

#import <dispatch/dispatch.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <string>

#import "Pelmora_mac/LCDStrings.h"
#include "Pelmora_mac/run_loop_events.h"
#include "Pelmora_mac/ui/statistics_fields.h"
#include "bridge/session_bridge.h"
#include "trace/trace_recording.h"
#include "sim/demo_synth.h"

namespace {

BOOL gDemo = NO;  // main thread only

// Made before the first window and never destroyed: a quit that outlasts
// its grace ends the process while a worker may still be recording.
struct PendingTrace {
  std::unique_ptr<pelmora::trace::ProgramRecording> recording;
  bool taken = false;
};

PendingTrace& pendingTrace() {
  static PendingTrace* const trace = new PendingTrace;
  return *trace;
}

}  // namespace

@implementation LCDSession {
  // Shares the state block with the worker, which keeps it alive past this
  // object until it has ended.
  std::unique_ptr<pelmora::SessionBridge> _bridge;
  // The buffer the next frame is taken into; a new one is made only after a
  // frame was handed out, so the 60 Hz polling allocates nothing meanwhile.
  NSMutableData* _spare;
}

+ (BOOL)demo {
  return gDemo;
}

+ (void)setDemo:(BOOL)demo {
  gDemo = demo;
}

- (nullable instancetype)init {
  self = [super init];
  if (self == nil) return nil;
  try {
    pelmora::SessionBridgeOptions options;
    if (gDemo) options.hooks = pelmora::sim::demoHooks();
    options.deviceEvents = std::make_shared<pelmora::RunLoopDeviceEvents>();
    PendingTrace& trace = pendingTrace();
    if (trace.recording && !trace.taken) {
      options.recorder = trace.recording->recorder();
      trace.taken = true;
    }
    _bridge = std::make_unique<pelmora::SessionBridge>(std::move(options));
  } catch (const std::exception&) {
    return nil;
  }
  return self;
}

+ (void)recordNextSessionTo:(NSString*)path {
  pendingTrace().recording = std::make_unique<pelmora::trace::ProgramRecording>(path.UTF8String);
}

+ (nullable NSString*)takeRecordingFailure {
  const PendingTrace& trace = pendingTrace();
  if (!trace.recording) return nil;
  const std::string failure = trace.recording->takeFailure();
  return failure.empty() ? nil : LCDStringFromUtf8(failure);
}

+ (void)finishRecording {
  if (pendingTrace().recording) pendingTrace().recording->finish();
}

- (void)dealloc {
  [self stop];
}

- (void)stop {
  if (_bridge) _bridge->stop();
}

- (void)resume {
  if (_bridge) _bridge->resume();
}

- (BOOL)finished {
  return !_bridge || _bridge->finished();
}

- (NSString*)serial {
  return _bridge ? LCDStringFromUtf16(_bridge->serial()) : @"";
}

- (NSDictionary<NSString*, NSNumber*>*)statistics {
  const pelmora::SessionStatistics statistics = _bridge ? _bridge->statistics() : pelmora::SessionStatistics{};
  NSMutableDictionary<NSString*, NSNumber*>* result =
      [NSMutableDictionary dictionaryWithCapacity:pelmora::kStatisticsKeyCount];
  for (const pelmora::mac::StatisticsField& field : pelmora::mac::statisticsFields(statistics)) {
    NSNumber* number = field.kind == pelmora::mac::NumberKind::Unsigned64
                           ? [NSNumber numberWithUnsignedLongLong:field.value]
                           : [NSNumber numberWithUnsignedInt:static_cast<unsigned int>(field.value)];
    result[LCDStringFromUtf8(field.key)] = number;
  }
  return [result copy];
}

- (nullable NSMutableData*)takePixels {
  if (!_bridge) return nil;
  if (_spare == nil) _spare = [NSMutableData dataWithLength:pelmora::kRgbaFrameBytes];
  if (_spare == nil) return nil;
  if (!_bridge->takePixels(static_cast<std::uint8_t*>(_spare.mutableBytes))) return nil;
  NSMutableData* frame = _spare;
  _spare = nil;
  return frame;
}

- (void)setArrivalHandler:(nullable void (^)(void))handler {
  if (!_bridge) return;
  if (handler == nil) {
    _bridge->setChangeListener({});
    return;
  }
  // Cleared before the handler runs, so an arrival during it queues the next run.
  auto queued = std::make_shared<std::atomic<bool>>(false);
  void (^run)(void) = ^{
    queued->store(false);
    handler();
  };
  // On the worker, under the bridge's mutex: only a dispatch, never a wait.
  _bridge->setChangeListener([queued, run] {
    if (!queued->exchange(true)) dispatch_async(dispatch_get_main_queue(), run);
  });
}

@end
