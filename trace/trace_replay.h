#pragma once
// Runs the real supervisor and session engine against a trace, on the
// recorded clock. What the session did to the outside or learned from it
// (enumerations, opens, sends, closes, random draws, a read that delivered
// or failed, a stop, a resume, a failed poll) is held in its recorded order
// with its arguments; the first one that differs (the code changed since)
// ends the replay and is named. What the engine only looks at (the clock,
// an error code, a transfer's state, a wait or read that brought nothing)
// is answered from the recorded state whenever it is asked, so reordering
// those looks, or asking them more or less often, keeps a trace valid. An
// engine that keeps looking while the recorded clock cannot move (a changed
// timer) is stopped with what it asked and what the trace holds next.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "trace/trace_reader.h"

namespace pelmora::trace {

// Nobody watches an hour of "No Device": a longer recorded pause is
// watched as this long, as a capture's is.
inline constexpr std::uint64_t kLongestWatchedPauseMs = 10000;

struct ReplayOptions {
  // Each call as it is answered and each status text as it is shown, one
  // line each ("<ms> <call> <result>", "(as before)" when the trace held
  // no new answer); empty: no timeline.
  std::function<void(const std::string& line)> timeline;
  // Every frame the worker delivers, numbered from 0.
  std::function<void(std::size_t index, const OutputFrame& frame)> onFrame;
  // The serial of the device in use as the worker tells it (empty: none).
  SerialCallback onSerial;
  // A window's replay: called each time the recorded clock moves, with the
  // time since its first reading, each pause longer than
  // kLongestWatchedPauseMs shortened to it; it returns once the replay may
  // go on (at the recorded pace, it sleeps until the replay's start plus
  // that time), or false to end the replay as stopped. Empty: as fast as
  // the engine answers.
  std::function<bool(std::uint64_t watchMs)> pace;
};

struct ReplayResult {
  std::vector<std::string> statusTexts;     // in the order shown
  std::vector<std::uint64_t> statusTimesMs; // when each was shown, from the first clock reading
  std::uint64_t endMs = 0;                  // when the replay ended, on the same clock
  std::vector<std::uint64_t> frameHashes;   // every frame delivered, status screens too
  WorkerStatistics statistics;
  std::size_t callsAnswered = 0;  // records answered or passed over
  bool complete = false;  // the worker ended, or asked past the trace's end, with no effect left
  bool diverged = false;  // stopped at a call the trace did not record
  bool stopped = false;   // the pace hook ended it
  bool sizeBound = false; // the recording reached its size bound there
  std::string stopReason;  // one line: where and why it ended
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

// A version as people read it: "2026-10-17" for the recorded "2026.10.17".
std::string spellVersion(std::string_view recorded);

// What a replay's title names after "Replay of": "bug.trace (Windows,
// 2026-10-17)", the file's name (after its last / or \\) and who recorded it.
std::string replaySourceText(std::string_view path, const Recording& trace);

// A recorded time from the start, "mm:ss.mmm" (more minutes when longer).
std::string clockText(std::uint64_t ms);

// How a replay ended, as a watcher tells them apart.
enum class ReplayEnding { ended, cutShort, sizeBound, stopped, differs };
ReplayEnding replayEnding(const Recording& trace, const ReplayResult& result);
// The ending in a few words, after "replay of FILE".
const char* endingWords(ReplayEnding ending);

// How the replay ended as a sentence and what to do about it, for people;
// empty when it simply ended or was stopped.
std::string explainEnding(const Recording& trace, const ReplayResult& result);

// `--print`: who recorded the trace, then each status text with its time,
// the sessions and failures and how it ended; `name` is the file's.
std::string summarizeReplay(const Recording& trace, const ReplayResult& result, std::string_view name);

}  // namespace pelmora::trace
