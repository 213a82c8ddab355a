#include "bridge/session_bridge.h"

#include <bit>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

#include "bridge/session_worker.h"

namespace pelmora {

StatisticsEntries statisticsEntries(const SessionStatistics& s) {
  return {{{"frames", s.frames},
           {"states", s.states},
           {"images", s.images},
           {"sessions", s.sessions},
           {"heartbeats", s.heartbeats},
           {"failures", s.failures},
           {"modes", s.modes},
           {"languages", s.languages},
           {"debugStates", s.debugStates}}};
}

namespace {

// One 0x00RRGGBB word as the four bytes R, G, B, 255 read as a native word,
// so that a whole pixel is stored at once (and the loop vectorises).
constexpr std::uint32_t rgbaWord(std::uint32_t word) {
  constexpr std::uint32_t kOpaque = 0xFF;
  if constexpr (std::endian::native == std::endian::little) {
    return (kOpaque << 24) | ((word & 0xFF) << 16) | (word & 0xFF00) | ((word >> 16) & 0xFF);
  } else {
    return (word << 8) | kOpaque;
  }
}

}  // namespace

void frameToRgba(const OutputFrame& frame, std::uint8_t* rgba) {
  for (const std::uint32_t word : frame) {
    const std::uint32_t bytes = rgbaWord(word);
    std::memcpy(rgba, &bytes, sizeof bytes);
    rgba += kRgbaBytesPerPixel;
  }
}

SessionBridge::SessionBridge(SessionBridgeOptions options)
    : state_(std::make_shared<SessionBridgeState>()) {
  state_->deviceEvents = std::move(options.deviceEvents);
  std::thread(runSessionWorker, state_, std::move(options)).detach();
}

SessionBridge::~SessionBridge() { stop(); }

void SessionBridge::stop() {
  state_->stopRequested.exchange(true);
  wakeWorker();
}

void SessionBridge::resume() {
  state_->resumeRequested.store(true);
  wakeWorker();
}

void SessionBridge::wakeWorker() {
  // Taken so that the flag just set is seen by a worker about to sleep.
  { std::lock_guard lock(state_->mutex); }
  state_->wake.notify_all();
  if (state_->deviceEvents) state_->deviceEvents->interrupt();
}

bool SessionBridge::finished() const { return state_->finished.load(); }

std::u16string SessionBridge::serial() const {
  std::lock_guard lock(state_->mutex);
  return state_->serial;
}

SessionStatistics SessionBridge::statistics() const {
  std::lock_guard lock(state_->mutex);
  const WorkerStatistics& c = state_->counters;
  return {c.frames,          c.states,     c.images,
          c.sessions,        c.heartbeats, c.failures,
          state_->modesSeen, state_->languagesSeen, state_->debugStatesSeen};
}

std::optional<trace::ReplayResult> SessionBridge::replayResult() const {
  std::lock_guard lock(state_->mutex);
  return state_->replayResult;
}

bool SessionBridge::takePixels(std::uint8_t* rgba) {
  std::lock_guard lock(state_->mutex);
  if (!state_->frameReady) return false;
  state_->frameReady = false;
  frameToRgba(state_->pixels, rgba);
  return true;
}

std::optional<std::vector<std::uint8_t>> SessionBridge::takePixels() {
  std::lock_guard lock(state_->mutex);
  if (!state_->frameReady) return std::nullopt;
  state_->frameReady = false;
  std::vector<std::uint8_t> rgba(kRgbaFrameBytes);
  frameToRgba(state_->pixels, rgba.data());
  return rgba;
}

bool SessionBridge::takeFrame(OutputFrame& frame) {
  std::lock_guard lock(state_->mutex);
  if (!state_->frameReady) return false;
  state_->frameReady = false;
  frame = state_->pixels;
  return true;
}

bool SessionBridge::takeSerial(std::u16string& serial) {
  if (!state_->serialChanged.load()) return false;
  std::lock_guard lock(state_->mutex);
  if (!state_->serialChanged.exchange(false)) return false;
  serial.assign(state_->serial);
  return true;
}

void SessionBridge::setChangeListener(ChangeListener listener) {
  // The old listener is destroyed outside the lock; it may own anything.
  std::lock_guard lock(state_->mutex);
  state_->changeListener.swap(listener);
}

void SessionBridge::setFrameReceiver(FrameReceiver receiver) {
  std::lock_guard lock(state_->mutex);
  state_->frameReceiver.swap(receiver);
  // What the new receiver (or the next take) starts from is not known here:
  // the next frame goes through even when it equals the last one.
  state_->pixelsPassedOn = false;
  if (state_->frameReceiver && state_->frameReady) {
    state_->frameReady = false;
    state_->frameReceiver(state_->pixels);
  }
}

}  // namespace pelmora
