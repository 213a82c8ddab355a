#include "windows/app/app_state.h"

#include <memory>

#include "core/render/status_screen.h"
#include "host/window_title.h"

namespace pelmora::winapp {

void drawStartupFrame(AppState& state) {
  drawStatusScreen(state.frame, kStartupStatus.data(), kStartupStatus.size(), false);
  state.painted = state.frame;
}

namespace {

// Under the lock.
bool markFramePublished(AppState& state) {
  state.frameDirty = true;
  const bool tell = !state.framePosted;
  state.framePosted = true;
  return tell;
}

// Under the lock.
bool takeDirtyFrame(AppState& state) {
  if (!state.frameDirty) return false;
  state.painted = state.frame;
  state.frameDirty = false;
  return true;
}

}  // namespace

bool publishFrame(AppState& state, const OutputFrame& frame) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.frame = frame;
  return markFramePublished(state);
}

void publishSerial(AppState& state, std::u16string_view serial) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.serial.assign(serial);
  state.titleDirty = true;
}

bool publishWorkerFailure(AppState& state) {
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0);
  drawStatusScreen(*frame, kWorkerFailedStatus.data(), kWorkerFailedStatus.size(), false);
  std::lock_guard<std::mutex> guard(state.lock);
  state.frame = *frame;
  state.serial.clear();
  state.titleDirty = true;
  return markFramePublished(state);
}

void publishReplayLabel(AppState& state, std::u16string_view label) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.replayLabel.assign(label);
  state.titleDirty = true;
}

namespace {

// The replay's label, then the notice, after the serial.
std::u16string afterSerial(const std::u16string& label, const std::u16string& notice) {
  if (label.empty() || notice.empty()) return label + notice;
  return label + u" " + notice;
}

}  // namespace

TimerUpdate takeTimerUpdate(AppState& state) {
  TimerUpdate update;
  std::u16string serial;
  std::u16string label;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    update.repaint = takeDirtyFrame(state);
    update.retitle = state.titleDirty;
    state.titleDirty = false;
    if (update.retitle) {
      serial = state.serial;
      label = state.replayLabel;
    }
  }
  if (update.retitle) update.title = host::windowTitle(serial, afterSerial(label, state.notice));
  return update;
}

std::u16string currentTitle(AppState& state) {
  std::u16string serial;
  std::u16string label;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    serial = state.serial;
    label = state.replayLabel;
  }
  return host::windowTitle(serial, afterSerial(label, state.notice));
}

bool takePostedFrame(AppState& state) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.framePosted = false;
  return takeDirtyFrame(state);
}

}  // namespace pelmora::winapp
