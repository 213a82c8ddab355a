#import "Pelmora_mac/LCDSession.h"

#import <dispatch/dispatch.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <string_view>

#import "Pelmora_mac/LCDStrings.h"
#include "Pelmora_mac/run_loop_events.h"
#include "Pelmora_mac/ui/statistics_fields.h"
#include "Pelmora_mac/ui/window_title.h"
#include "bridge/session_bridge.h"
#include "trace/trace_reader.h"
#include "trace/trace_recording.h"
#include "trace/trace_replay.h"
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

// Read once before the first window and never destroyed, for the same
// reason: every window's worker replays from it.
struct ReplaySource {
  pelmora::trace::Recording trace;
  std::string path;
  bool loaded = false;
};

ReplaySource& replaySource() {
  static ReplaySource* const source = new ReplaySource;
  return *source;
}

void warn(const std::string& text) {
  std::fputs(("Pelmora_mac: " + text + "\n").c_str(), stderr);
}

}  // namespace

@implementation LCDSession {
  // Shares the state block with the worker, which keeps it alive past this
  // object until it has ended.
  std::unique_ptr<pelmora::SessionBridge> _bridge;
  // The buffer the next frame is taken into; a new one is made only after a
  // frame was handed out, so the 60 Hz polling allocates nothing meanwhile.
  NSMutableData* _spare;
  NSString* _replayLabel;  // nil: no replay
  BOOL _replayEnded;
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
    const ReplaySource& replay = replaySource();
    if (replay.loaded) {
      options.replay = &replay.trace;
      _replayLabel = LCDStringFromUtf8(pelmora::mac::replayLabel(replay.path, replay.trace, LCDUserLanguage()));
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

+ (nullable NSString*)replayFile:(NSString*)path damaged:(BOOL*)damaged {
  ReplaySource& source = replaySource();
  source.path = path.UTF8String;
  source.trace = pelmora::trace::readRecordingFile(source.path);
  *damaged = source.trace.damaged;
  std::string refusal = source.trace.error;
  // Captures show only pictures; the window replays the traces that hold a whole session.
  if (source.trace.kind == pelmora::trace::RecordingKind::capture) {
    refusal = source.path + ": a capture of input reports; only traces replay here";
  }
  if (!refusal.empty()) return LCDStringFromUtf8(refusal);
  if (const std::string cut = pelmora::trace::describeCut(source.trace); !cut.empty()) warn(source.path + ": " + cut);
  source.loaded = true;
  return nil;
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

- (nullable NSString*)replayLabel {
  if (_replayLabel == nil || _replayEnded || !_bridge) return _replayLabel;
  const std::optional<pelmora::trace::ReplayResult> result = _bridge->replayResult();
  if (!result) return _replayLabel;
  const ReplaySource& source = replaySource();
  const pelmora::trace::ReplayEnding ending = pelmora::trace::replayEnding(source.trace, *result);
  const std::string_view words = pelmora::mac::replayEndingText(ending, LCDUserLanguage());
  _replayLabel = [NSString stringWithFormat:@"%@: %@", _replayLabel, LCDStringFromUtf8(words)];
  _replayEnded = YES;
  // A cut file was told at the start already.
  const std::string why = ending == pelmora::trace::ReplayEnding::cutShort
                              ? std::string()
                              : pelmora::trace::explainEnding(source.trace, *result);
  if (!why.empty()) warn(source.path + ": " + why);
  return _replayLabel;
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
