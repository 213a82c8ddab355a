#pragma once
// One displayed LCD as a host sees it: a worker thread running the core's
// supervisor, and a few calls that never block the caller longer than one
// copy under a mutex. The host polls `takePixels` and `serial` (or installs a
// change listener and takes what changed when told, or has every frame
// handed to a receiver of its own on the worker thread), and asks for stop
// and resume; nothing here waits for the worker.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/device_watching_wait.h"
#include "bridge/session_state.h"
#include "core/protocol/connection_worker.h"
#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace pelmora {

inline constexpr std::size_t kRgbaBytesPerPixel = 4;
inline constexpr std::size_t kRgbaRowBytes = static_cast<std::size_t>(kCanvasWidth) * kRgbaBytesPerPixel;
inline constexpr std::size_t kRgbaFrameBytes = kPixelCount * kRgbaBytesPerPixel;  // 217,600

// What a host may swap in; everything left empty is the platform's own.
struct SessionBridgeOptions {
  // Handed to the worker unchanged, except `wait`: the bridge's own wait is
  // the only one that sees stop and resume, so a wait hook is dropped.
  ConnectionHooks hooks;
  // The device scan of long pauses; empty: hooks.enumerate, else the
  // platform's enumerateDevices.
  DeviceScan scan;
  // What the worker's pauses sleep on; empty: 20 ms slices with a device
  // scan every 500 ms.
  std::shared_ptr<IDeviceEvents> deviceEvents;
  // `--record`: told everything the worker learns from outside; must
  // outlive the worker (null: nothing is recorded). The scan of long pauses
  // is not the worker's: it only cuts a wait short, whose answer is told.
  WorkerRecorder* recorder = nullptr;
  // A trace to show instead of a device, at its recorded pace: the worker
  // replays it rather than running the supervisor, its frames and serial
  // reach the host as a live session's do, and stop ends the replay at
  // once. Must outlive the worker (null: a live session).
  const trace::Recording* replay = nullptr;
};

// Six of the worker's counters (only after it finished) and the three bit
// sets gathered while it runs.
struct SessionStatistics {
  std::uint64_t frames = 0;
  std::uint64_t states = 0;
  std::uint64_t images = 0;
  std::uint64_t sessions = 0;
  std::uint64_t heartbeats = 0;
  std::uint64_t failures = 0;
  std::uint32_t modes = 0;
  std::uint32_t languages = 0;
  std::uint32_t debugStates = 0;
};

inline constexpr std::size_t kStatisticsKeyCount = 9;
using StatisticsEntries = std::array<std::pair<const char*, std::uint64_t>, kStatisticsKeyCount>;
// The statistics under their published keys ("frames" ... "debugStates").
StatisticsEntries statisticsEntries(const SessionStatistics& statistics);

// R, G, B, 255 per pixel, rows of 1,280 bytes; the top byte of each word is
// ignored. `rgba` holds kRgbaFrameBytes.
void frameToRgba(const OutputFrame& frame, std::uint8_t* rgba);

// Called on the worker thread right after a new frame or serial was stored,
// with the state's mutex held: it must only wake its host (never block, never
// call back into the bridge).
using ChangeListener = std::function<void()>;

// Called on the worker thread with each new frame, with the state's mutex
// held, before the change listener: it must copy the frame out and return
// at once (never block, never call back into the bridge).
using FrameReceiver = std::function<void(const OutputFrame&)>;

class SessionBridge {
 public:
  // Starts the worker thread and detaches it. Throws std::system_error when
  // no thread can be started.
  explicit SessionBridge(SessionBridgeOptions options = {});
  // Stops the worker without waiting for it; the worker keeps the shared
  // state alive until it has ended.
  ~SessionBridge();
  SessionBridge(const SessionBridge&) = delete;
  SessionBridge& operator=(const SessionBridge&) = delete;

  void stop();
  void resume();
  bool finished() const;
  std::u16string serial() const;
  SessionStatistics statistics() const;
  // How the replay ended, once it has (the host is told as of a new frame);
  // nothing while it runs, or for a live session.
  std::optional<trace::ReplayResult> replayResult() const;

  // When a frame arrived since the last take: converts it into `rgba`
  // (kRgbaFrameBytes) and returns true. Otherwise leaves `rgba` alone.
  bool takePixels(std::uint8_t* rgba);
  std::optional<std::vector<std::uint8_t>> takePixels();
  // The same frame as it was delivered, 0x00RRGGBB words, copied straight
  // into `frame`; shares the "frame arrived" mark with takePixels.
  bool takeFrame(OutputFrame& frame);
  // When the serial changed since the last take: copies it into `serial`
  // and returns true. Copies into the caller's string, whose capacity is
  // reused.
  bool takeSerial(std::u16string& serial);
  // Replaces the listener (empty: none). Once this returns, the previous
  // listener is never called again, so its owner may go.
  void setChangeListener(ChangeListener listener);
  // Frames go to `receiver` instead of waiting for a take (empty: back to
  // the takes); a frame still waiting is handed to it at once, on the
  // calling thread. Once this returns, the previous receiver is never
  // called again.
  void setFrameReceiver(FrameReceiver receiver);

  // Lets a caller observe when the worker, too, has let go of the state.
  std::weak_ptr<const SessionBridgeState> watchState() const { return state_; }

 private:
  void wakeWorker();

  std::shared_ptr<SessionBridgeState> state_;
};

}  // namespace pelmora
