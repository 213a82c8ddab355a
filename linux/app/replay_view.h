#pragma once
// `pelmora --replay TRACE` in the window: what the title says of the
// replay while it runs and once it ended, and the watch that notices its
// end (the last picture stays; the title and stderr say how it ended).
#include <glib.h>

#include <functional>
#include <string>
#include <string_view>

#include "bridge/session_bridge.h"
#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace pelmora::app {

// Follows the title: which file, and the system and program version that
// recorded it ("— Replay of bug.trace (Windows, 2026-10-17)").
std::string replayLabel(std::string_view path, const trace::Recording& trace);
// The same once the replay ended, saying how.
std::string replayEndedLabel(std::string_view label, trace::ReplayEnding ending);
// The exit status a replay's end asks for: 0, or kReplayDiffersExitCode.
int replayExitCode(const trace::ReplayResult& result);

class ReplayWatch {
 public:
  // `showLabel` puts a label into the window's title; called at once with
  // the running label and again when the replay ended.
  ReplayWatch(SessionBridge& session, const trace::Recording& trace, std::string_view path,
              std::function<void(const std::string& label)> showLabel);
  ~ReplayWatch();
  ReplayWatch(const ReplayWatch&) = delete;
  ReplayWatch& operator=(const ReplayWatch&) = delete;

  // 0 until the replay ended, then as replayExitCode.
  int exitCode() const { return exitCode_; }

 private:
  static gboolean check(gpointer self);

  SessionBridge& session_;
  const trace::Recording& trace_;
  std::string path_;
  std::string label_;
  std::function<void(const std::string&)> showLabel_;
  guint source_ = 0;
  int exitCode_ = 0;
};

}  // namespace pelmora::app
