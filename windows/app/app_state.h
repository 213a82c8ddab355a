#pragma once
// What the user interface thread and the worker thread share: the frame to
// show and the serial for the title under one lock, and the events by which
// the window asks things of the worker. Each side holds the lock only to
// copy one frame or one string, and never calls out while holding it.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/render/lcd_canvas.h"

namespace pelmora::trace {
class ProgramRecording;
struct Recording;
}

namespace pelmora::winapp {

// A Win32 HANDLE or HDEVNOTIFY; kept opaque here so that the exchange
// between the threads builds and is tested on any system.
using Handle = void*;

inline constexpr int kInitialScale = 1;
inline constexpr std::string_view kStartupStatus = "No Device";
inline constexpr std::string_view kWorkerFailedStatus = "Connection Error\nWorker Failed";

// One per program; large (one whole frame), so it lives on the heap.
struct AppState {
  int scale = kInitialScale;
  OutputFrame frame{};
  std::mutex lock;
  bool frameDirty = false;
  bool framePosted = false;  // the window has a frame message it has not handled yet
  bool titleDirty = false;
  std::u16string serial;
  Handle stopEvent = nullptr;    // manual reset: the worker stops
  Handle wakeEvent = nullptr;    // auto reset: a supervisor wait ends early
  Handle resumeEvent = nullptr;  // manual reset: the system has resumed
  Handle workerThread = nullptr;
  Handle window = nullptr;  // HWND, set before the worker starts
  Handle deviceNotification = nullptr;
  bool demo = false;  // the simulated synthesizer instead of the devices
  trace::ProgramRecording* recording = nullptr;  // `--record FILE`: the worker writes a trace
  const trace::Recording* replay = nullptr;      // `--replay FILE`: the worker replays it instead
  std::u16string replayLabel;  // under the lock: follows the serial in the title
  std::u16string notice;  // user interface thread only: follows the serial in the title
  OutputFrame painted{};  // user interface thread only: the frame the window paints
};

// "No Device" on black, so the window has something to show before the
// worker's first frame. Called before the worker exists.
void drawStartupFrame(AppState& state);

// Worker side. Publishing a frame is true when the window must be told
// (posted one message); false while the message of an earlier frame is still
// pending, which will show this one.
bool publishFrame(AppState& state, const OutputFrame& frame);
void publishSerial(AppState& state, std::u16string_view serial);
// What the title says of the replay (empty: none).
void publishReplayLabel(AppState& state, std::u16string_view label);
// A worker that ended by an exception: its status screen on black and the
// bare title, to stay until the window closes.
bool publishWorkerFailure(AppState& state);

// User interface side: what one timer tick has to do.
struct TimerUpdate {
  bool repaint = false;
  bool retitle = false;
  std::u16string title;  // the whole window title when retitle is set
};
// Reads and clears both flags (a new frame is taken into `painted`); the
// title is built outside the lock.
TimerUpdate takeTimerUpdate(AppState& state);
// The whole title now, with the notice; for a notice that has to show at once.
std::u16string currentTitle(AppState& state);
// The window handles its frame message: the newest frame, if not taken yet,
// is copied into `painted` (so painting never holds the lock, and a frame
// taken once is painted once); true when it was. The next published frame
// posts a message again.
bool takePostedFrame(AppState& state);

}  // namespace pelmora::winapp
