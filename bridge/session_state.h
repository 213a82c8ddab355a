#pragma once
// The block one session's worker thread and its host share. The worker's
// callbacks write it under the mutex; the host reads it under the mutex and
// signals through the three atomic flags plus a notification on `wake`.
// A host that would rather be told than poll installs a change listener.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "bridge/device_events.h"
#include "core/protocol/connection_worker.h"
#include "core/render/lcd_canvas.h"
#include "trace/trace_replay.h"

namespace pelmora {

struct SessionBridgeState {
  std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> stopRequested{false};    // never cleared once set
  std::atomic<bool> resumeRequested{false};  // taken by the worker's pollResume
  std::atomic<bool> finished{false};         // the worker's last act on the state
  // Set before the worker starts, never changed: when present, the worker
  // sleeps on it and stop and resume interrupt it.
  std::shared_ptr<IDeviceEvents> deviceEvents;
  OutputFrame pixels{};                      // newest frame, 0x00RRGGBB
  bool frameReady = false;                   // pixels replaced since the last take
  bool pixelsPassedOn = false;               // pixels are what the host has or will take
  std::u16string serial;                     // device in use; empty when none
  // Serial replaced since the last takeSerial; set under the mutex, and
  // looked at first without it, so that a host checking after every frame
  // does not wait for a worker still holding the mutex.
  std::atomic<bool> serialChanged{false};
  std::function<void()> changeListener;      // told of every new frame and serial
  std::function<void(const OutputFrame&)> frameReceiver;  // when set, frames go here, not to pixels
  WorkerStatistics counters;                 // copied only when the worker ends
  std::optional<trace::ReplayResult> replayResult;  // set when a replay ended
  std::uint32_t modesSeen = 0;               // bit m: a frame in mode m was rendered
  std::uint32_t languagesSeen = 0;           // bit l: a frame in language l
  std::uint32_t debugStatesSeen = 0;         // bit 0: without, bit 1: with debug lines
};

}  // namespace pelmora
