#include "bridge/session_bridge.h"

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

void frameToRgba(const OutputFrame& frame, std::uint8_t* rgba) {
  constexpr std::uint8_t kOpaque = 255;
  for (const std::uint32_t word : frame) {
    rgba[0] = static_cast<std::uint8_t>(word >> 16);
    rgba[1] = static_cast<std::uint8_t>(word >> 8);
    rgba[2] = static_cast<std::uint8_t>(word);
    rgba[3] = kOpaque;
    rgba += kRgbaBytesPerPixel;
  }
}

SessionBridge::SessionBridge(SessionBridgeOptions options)
    : state_(std::make_shared<SessionBridgeState>()) {
  std::thread(runSessionWorker, state_, std::move(options)).detach();
}

SessionBridge::~SessionBridge() { stop(); }

void SessionBridge::stop() {
  state_->stopRequested.exchange(true);
  state_->wake.notify_all();
}

void SessionBridge::resume() {
  state_->resumeRequested.store(true);
  state_->wake.notify_all();
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

}  // namespace pelmora
