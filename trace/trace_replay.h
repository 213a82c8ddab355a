#pragma once
// Runs the real supervisor and session engine against a trace: every call
// they make to the outside is answered with what the trace recorded for it,
// on the recorded clock, so the run is the user's run again, call for call.
// The first call that is not the one the trace holds next (the code changed
// since, or the trace lost records there) ends the replay and is named.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "trace/trace_reader.h"

namespace pelmora::trace {

struct ReplayOptions {
  // Each call as it is answered and each status text as it is shown, one
  // line each ("<ms> <call> <result>"); empty: no timeline.
  std::function<void(const std::string& line)> timeline;
  // Every frame the worker delivers, numbered from 0.
  std::function<void(std::size_t index, const OutputFrame& frame)> onFrame;
};

struct ReplayResult {
  std::vector<std::string> statusTexts;     // in the order shown
  std::vector<std::uint64_t> frameHashes;   // every frame delivered, status screens too
  WorkerStatistics statistics;
  std::size_t callsAnswered = 0;
  bool complete = false;  // the worker ended where the trace ends
  bool diverged = false;  // stopped at a call the trace did not record
  std::string stopReason;  // one line when not complete
};

// FNV-1a over the frame's pixels.
std::uint64_t frameHash(const OutputFrame& frame);

// `trace` is a trace as readRecording returns it; anything else (a result
// made by hand without its bytes) is not replayed, and the stopReason says
// so. Interprets platform error codes as the recording system does, from
// here on.
ReplayResult replayTrace(const Recording& trace, const ReplayOptions& options = {});

// The line the replay tool starts with: the recording system, the program
// and how many calls the trace holds.
std::string describeTraceOrigin(const Recording& trace);

// The result as lines, for comparing two runs and for people: the status
// texts, the frame hashes, the statistics and how the replay ended.
std::string describeReplay(const ReplayResult& result);

}  // namespace pelmora::trace
