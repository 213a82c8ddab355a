#pragma once
// A worker run the way the Linux program runs it: a thread of its own, the
// bridge's device-watching wait, and the platform's enumeration, transport
// and clock. It notes what a user would see change: every new failure text
// and "No Device" with its time, the serial, and the pages rendered. Given a
// file, it records a trace there as `--record FILE` does.
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/device_watching_wait.h"
#include "bridge/session_state.h"
#include "core/protocol/connection_worker.h"
#include "trace/trace_recording.h"
#include "uhid_synth.h"

namespace pelmora::test {

inline constexpr const char* kTextNoDevice = "No Device";

struct TimedText {
  std::uint64_t atMs;
  std::string text;
};

class HostWorker {
 public:
  explicit HostWorker(const std::string& tracePath = {});
  ~HostWorker();
  HostWorker(const HostWorker&) = delete;
  HostWorker& operator=(const HostWorker&) = delete;

  // Requests stop; the milliseconds until the worker's run returned. The
  // trace, if any, is complete on disk once it returns.
  std::uint64_t stop();

  // Each new failure text and each "No Device" spell, in order.
  std::vector<TimedText> errors();
  // The time the worker first reported `text` as its failure; 0 if never.
  std::uint64_t errorSeenAt(const std::string& text);
  // Whether a failure said the device has gone: "Connection Error" with a
  // platform code that means so. An unplug shows as a failed read or, when
  // a feature transfer was under way, as its failed completion.
  bool sawDeviceGone();
  std::u16string serial();
  std::uint32_t modesRendered();
  std::uint64_t framesRendered();
  // The hash of every frame delivered, status screens too; after stop.
  const std::vector<std::uint64_t>& frameHashes() const { return hashes_; }
  // Valid once stop has returned.
  const WorkerStatistics& statistics() const { return worker_->statistics(); }

 private:
  bool waitAndNote(std::uint32_t ms);
  void note(const std::string& text);

  std::unique_ptr<trace::TraceWriter> writer_;
  std::unique_ptr<trace::TraceRecording> recording_;
  std::shared_ptr<SessionBridgeState> state_;
  DeviceWatchingWait watching_;
  std::unique_ptr<ConnectionWorker> worker_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<TimedText> errors_;
  std::string lastError_;
  std::u16string serial_;
  std::uint32_t modes_ = 0;
  std::uint64_t frames_ = 0;
  std::vector<std::uint64_t> hashes_;  // the worker's own until stop
};

// Writes `bytes` to a serial port of the guest, raw, and waits until they
// have left it; the stage script keeps what arrives on the host as a file.
bool sendToHost(const char* port, const std::string& bytes);

// Polls `condition` every 10 ms for up to `timeoutMs`.
template <class F>
bool waitFor(F condition, std::uint32_t timeoutMs) {
  const std::uint64_t deadline = steadyMs() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (steadyMs() >= deadline) return false;
    usleep(10000);
  }
}

}  // namespace pelmora::test
