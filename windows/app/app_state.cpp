#include "windows/app/app_state.h"

#include <memory>

#include "core/render/status_screen.h"
#include "host/window_title.h"

namespace pelmora::winapp {

void drawStartupFrame(AppState& state) {
  drawStatusScreen(state.frame, kStartupStatus.data(), kStartupStatus.size(), false);
}

void publishFrame(AppState& state, const OutputFrame& frame) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.frame = frame;
  state.frameDirty = true;
}

void publishSerial(AppState& state, std::u16string_view serial) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.serial.assign(serial);
  state.titleDirty = true;
}

void publishWorkerFailure(AppState& state) {
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0);
  drawStatusScreen(*frame, kWorkerFailedStatus.data(), kWorkerFailedStatus.size(), false);
  std::lock_guard<std::mutex> guard(state.lock);
  state.frame = *frame;
  state.frameDirty = true;
  state.serial.clear();
  state.titleDirty = true;
}

TimerUpdate takeTimerUpdate(AppState& state) {
  TimerUpdate update;
  std::u16string serial;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    update.repaint = state.frameDirty;
    update.retitle = state.titleDirty;
    state.frameDirty = false;
    state.titleDirty = false;
    if (update.retitle) serial = state.serial;
  }
  if (update.retitle) update.title = host::windowTitle(serial, state.notice);
  return update;
}

std::u16string currentTitle(AppState& state) {
  std::u16string serial;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    serial = state.serial;
  }
  return host::windowTitle(serial, state.notice);
}

void copyFrameForPainting(AppState& state, OutputFrame& out) {
  std::lock_guard<std::mutex> guard(state.lock);
  out = state.frame;
}

}  // namespace pelmora::winapp
