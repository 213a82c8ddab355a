#include "bridge/session_worker.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>

#include "core/render/status_screen.h"
#include "core/transport/platform.h"

namespace pelmora {
namespace {

constexpr unsigned kMaskBits = 32;
using Clock = std::chrono::steady_clock;
// A stop is seen within this while a replay waits for its recorded time.
constexpr Clock::duration kPaceSlice = std::chrono::milliseconds(50);

DeviceScan chooseScan(const SessionBridgeOptions& options) {
  if (options.scan) return options.scan;
  if (options.hooks.enumerate) return options.hooks.enumerate;
  return [] { return enumerateDevices(); };
}

// Notes which mode, language and debug state the frame just rendered shows.
void recordShownFrame(SessionBridgeState& state, const LcdModel& model) {
  const std::vector<std::uint8_t>& frame = model.frameMessage;
  if (frame.size() <= kFrameLanguageOffset) return;
  const unsigned mode = frame[kFrameModeOffset] % kMaskBits;
  const unsigned language = frame[kFrameLanguageOffset] % kMaskBits;
  const unsigned debug = (frame[kFrameFlagsOffset] & kFlagDebugLines) != 0 ? 1 : 0;
  std::lock_guard lock(state.mutex);
  state.modesSeen |= 1u << mode;
  state.languagesSeen |= 1u << language;
  state.debugStatesSeen |= 1u << debug;
}

// With the mutex held, so that a host replacing its listener knows the old
// one is done with.
void tellListener(const SessionBridgeState& state) {
  if (state.changeListener) state.changeListener();
}

// A host that receives frames itself gets each one at once; otherwise the
// newest waits in the state for a take. A picture equal to the one the host
// already has is not passed on: most messages of a stream leave the picture
// as it was (image rows of a page that shows no image, the rows sent again
// for refresh), and every frame passed on costs the host a wake-up and a
// paint. False when nothing was passed on.
bool storeFrame(SessionBridgeState& state, const OutputFrame& frame) {
  // Row by row up to the first that differs, and a copy from there on: a
  // new frame costs about one pass over the pixels, as a plain copy did.
  constexpr auto kRow = static_cast<std::size_t>(kCanvasWidth);
  std::size_t same = 0;  // pixels in the rows equal to the stored ones
  while (same < frame.size() && std::memcmp(&frame[same], &state.pixels[same], kRow * sizeof frame[0]) == 0) {
    same += kRow;
  }
  if (state.pixelsPassedOn && same == frame.size()) return false;
  std::copy(frame.begin() + static_cast<std::ptrdiff_t>(same), frame.end(),
            state.pixels.begin() + static_cast<std::ptrdiff_t>(same));
  state.pixelsPassedOn = true;
  if (state.frameReceiver) {
    state.frameReceiver(frame);
  } else {
    state.frameReady = true;
  }
  return true;
}

// True when the serial differs from the one stored before.
bool storeSerial(SessionBridgeState& state, std::u16string_view serial) {
  if (state.serial == serial) return false;
  state.serial = serial;
  state.serialChanged = true;
  return true;
}

std::unique_ptr<ConnectionWorker> makeWorker(const std::shared_ptr<SessionBridgeState>& state,
                                             SessionBridgeOptions options) {
  auto watching = std::make_shared<DeviceWatchingWait>(state, chooseScan(options));
  WaitFunction wait = [watching](std::uint32_t ms) { return (*watching)(ms); };
  ConnectionHooks hooks = std::move(options.hooks);
  hooks.wait = nullptr;
  hooks.waitForReport = [watching](std::uint32_t ms, const ReportSignal& signal) { return (*watching)(ms, signal); };
  auto onFrame = [state](const OutputFrame& frame) {
    std::lock_guard lock(state->mutex);
    if (storeFrame(*state, frame)) tellListener(*state);
  };
  auto onModel = [state](const LcdModel& model, const LcdCanvas&) { recordShownFrame(*state, model); };
  auto onSerial = [state](const std::u16string& serial) {
    std::lock_guard lock(state->mutex);
    if (storeSerial(*state, serial)) tellListener(*state);
  };
  ResumeCallback pollResume = [state] { return state->resumeRequested.exchange(false); };
  auto worker = std::make_unique<ConnectionWorker>(std::move(wait), std::move(onFrame), std::move(onModel), nullptr,
                                                   std::move(hooks), std::move(onSerial), std::move(pollResume));
  worker->setRecorder(options.recorder);
  return worker;
}

// Sleeps until `until` in short slices; false as soon as a stop is asked.
bool sleepUntil(SessionBridgeState& state, Clock::time_point until) {
  for (;;) {
    if (state.stopRequested.load()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= until) return true;
    std::unique_lock lock(state.mutex);
    state.wake.wait_for(lock, std::min<Clock::duration>(until - now, kPaceSlice));
  }
}

// The trace's session on the recorded clock, from now on; what it shows
// reaches the host as a live session's would, and how it ended after it.
void replayPaced(const std::shared_ptr<SessionBridgeState>& state, const trace::Recording& recording) {
  trace::ReplayOptions options;
  options.onFrame = [&state](std::size_t, const OutputFrame& frame) {
    std::lock_guard lock(state->mutex);
    if (storeFrame(*state, frame)) tellListener(*state);
  };
  options.onSerial = [&state](const std::u16string& serial) {
    std::lock_guard lock(state->mutex);
    if (storeSerial(*state, serial)) tellListener(*state);
  };
  options.pace = [&state, start = Clock::now()](std::uint64_t watchMs) {
    return sleepUntil(*state, start + std::chrono::milliseconds(watchMs));
  };
  trace::ReplayResult result = trace::replayTrace(recording, options);
  std::lock_guard lock(state->mutex);
  state->counters = result.statistics;
  state->replayResult = std::move(result);
  tellListener(*state);
}

// A worker ended by an exception uses no device any more, even when it was
// in the middle of a session that had reported one.
void showFailure(SessionBridgeState& state, const char* message) {
  std::lock_guard lock(state.mutex);
  drawStatusScreen(state.pixels, message, std::strlen(message), false);
  state.pixelsPassedOn = true;
  if (state.frameReceiver) {
    state.frameReceiver(state.pixels);
  } else {
    state.frameReady = true;
  }
  ++state.counters.failures;
  storeSerial(state, u"");
  tellListener(state);
}

}  // namespace

void runSessionWorker(std::shared_ptr<SessionBridgeState> state, SessionBridgeOptions options) {
  try {
    if (options.replay) {
      replayPaced(state, *options.replay);
      state->finished.store(true);
      return;
    }
    std::unique_ptr<ConnectionWorker> worker = makeWorker(state, std::move(options));
    worker->run();
    {
      std::lock_guard lock(state->mutex);
      state->counters = worker->statistics();
    }
    worker.reset();
  } catch (const std::exception& e) {
    showFailure(*state, e.what());
  } catch (...) {
    std::lock_guard lock(state->mutex);
    ++state->counters.failures;
    if (storeSerial(*state, u"")) tellListener(*state);
  }
  state->finished.store(true);
}

}  // namespace pelmora
