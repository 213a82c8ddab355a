#include "trace/trace_replay.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <utility>

#include "core/protocol/session_engine.h"

namespace pelmora::trace {
namespace {

constexpr std::uint64_t kFnvOffset = 0xCBF29CE484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ull;
constexpr unsigned kBitsPerByte = 8;
constexpr unsigned kBytesPerPixel = 4;

// Ends the replay from inside a call; nothing in the core catches it.
struct ReplayStop {
  enum class Ending { traceEnd, divergence, sizeBound, stopped };
  std::string reason;
  Ending ending;
};
using Ending = ReplayStop::Ending;

std::string hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return out;
}

std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Appends each piece in turn; "x" + std::string trips a false warning of
// some compilers at -O3.
template <typename... Pieces>
void append(std::string& text, const Pieces&... pieces) {
  (text.append(pieces), ...);
}

const char* yesNo(bool value, const char* yes, const char* no) { return value ? yes : no; }

// What a record says, for the timeline and for the reason of a stop.
std::string describe(const TraceRecord& r) {
  std::string text = callName(r.call);
  const std::string value = std::to_string(r.value);
  switch (r.call) {
    case TraceCall::enumerate:
      append(text, " ", std::to_string(r.devices.size()), " device(s)");
      for (const HidDeviceInfo& d : r.devices) {
        append(text, " [", narrow(d.path), " serial ", narrow(d.serial));
        if (!d.error.empty()) append(text, " \"", printable(d.error), "\"");
        append(text, "]");
      }
      break;
    case TraceCall::now:
    case TraceCall::errorCode: append(text, " ", value); break;
    case TraceCall::wait: append(text, "(", value, ") ", yesNo(r.ok, "stop", "no stop")); break;
    case TraceCall::close: append(text, "(", value, ") ", yesNo(r.ok, "true", "false")); break;
    case TraceCall::random: append(text, " ", r.ok ? hex(r.value).substr(8) : std::string("failed")); break;
    case TraceCall::lost: append(text, " ", value, " record(s)"); break;
    case TraceCall::open: append(text, "(", narrow(r.path), ") ", yesNo(r.ok, "true", "false")); break;
    case TraceCall::readReport: append(text, r.ok ? yesNo(r.received, " report", " nothing") : " false"); break;
    case TraceCall::sendFeature:
      append(text, " command ", std::to_string(r.report[kCommandCodeOffset]), yesNo(r.ok, " true", " false"));
      break;
    case TraceCall::limit: break;
    default: append(text, yesNo(r.ok, " true", " false")); break;
  }
  return text;
}

constexpr std::int64_t kNoArgument = -1;
// Answers in a row that took nothing from the trace before the replay calls
// it a spin. The recorded engine never stands still, and a harmless change
// only for the few looks it asks more than the trace holds before an
// effect; a spin is some hundred turns of the session loop, or 250 of the
// supervisor's error rotation, each drawing a screen.
constexpr std::size_t kMaxStandstill = 1000;
constexpr std::size_t kCallKinds = static_cast<std::size_t>(TraceCall::limit) + 1;

std::string askedText(TraceCall call, std::int64_t argument) {
  std::string text = callName(call);
  if (call == TraceCall::sendFeature) {
    append(text, " command ", std::to_string(argument));
  } else if (argument != kNoArgument) {
    append(text, "(", std::to_string(argument), ")");
  }
  return text;
}

std::size_t kindOf(TraceCall call) { return static_cast<std::size_t>(call); }

// A call the engine makes only to look (the clock, a code, a transfer's
// state, a wait or read that brought nothing) may come earlier, later or
// more often after a refactor; one that changes something or ends
// something is the session itself and must come in its recorded order.
// Only the first stop is an effect: a stop stays requested, and how often
// the engine looks at it afterwards is not.
bool isEffect(const TraceRecord& r, bool stopSeen) {
  switch (r.call) {
    case TraceCall::now:
    case TraceCall::errorCode:
    case TraceCall::isReading:
    case TraceCall::isFeaturePending: return false;
    case TraceCall::wait: return r.ok && !stopSeen;
    case TraceCall::pollResume: return r.ok;
    case TraceCall::readReport: return !r.ok || r.received;
    case TraceCall::poll: return !r.ok;
    default: return true;
  }
}

// Calls whose every answer is an effect.
bool alwaysActs(TraceCall call) {
  switch (call) {
    case TraceCall::enumerate:
    case TraceCall::createTransport:
    case TraceCall::open:
    case TraceCall::sendFeature:
    case TraceCall::close:
    case TraceCall::random: return true;
    default: return false;
  }
}

bool endsRecording(const TraceRecord& r) { return r.call == TraceCall::lost || r.call == TraceCall::limit; }

// The trace as the outside's state: effects are taken in order, and a look
// is answered by the first unanswered record of its kind before the next
// effect, or else as the last one was (the clock standing still).
class TraceAnswers {
 public:
  TraceAnswers(const Recording& trace, const ReplayOptions& options)
      : decoder_(std::span(trace.bytes).subspan(trace.recordsBegin, trace.recordsEnd - trace.recordsBegin)),
        options_(options) {
    for (std::size_t kind = 0; kind < kCallKinds; ++kind) last_[kind].call = static_cast<TraceCall>(kind);
    last_[kindOf(TraceCall::readReport)].ok = true;  // nothing to read
    last_[kindOf(TraceCall::poll)].ok = true;
  }

  // The answer to `call`; `argument` (the number the engine passed, if
  // any) only names the call in the reason of a stop.
  const TraceRecord& ask(TraceCall call, std::int64_t argument = kNoArgument) {
    fill();
    const std::size_t looks = run_.size() - (effectAhead_ ? 1 : 0);
    std::size_t& i = scan_[kindOf(call)];
    while (i < looks && (run_[i].answered || run_[i].record.call != call)) ++i;
    if (i < looks) return answer(run_[i]);
    if (effectAhead_ && run_.back().record.call == call) return takeEffect();
    if (!effectAhead_ || endsRecording(run_.back().record) || alwaysActs(call)) endsHere(call, argument);
    return standStill(call, argument);
  }

  // The effect just taken is not the one the engine asked for.
  [[noreturn]] void differs(TraceCall call, std::int64_t argument, const char* detail = "") const {
    throw ReplayStop{"call " + std::to_string(effectIndex_) + " at " + std::to_string(time()) +
                         " ms differs: the engine asked " + askedText(call, argument) + detail + ", the trace holds " +
                         describe(effect_),
                     Ending::divergence};
  }

  // True when what is left of the trace holds no effect.
  bool atEnd() {
    fill();
    return !effectAhead_;
  }
  std::string nextEffect() const { return "call " + std::to_string(effectIndex_) + " (" + describe(run_.back().record) + ")"; }
  std::size_t answered() const { return taken_; }
  std::uint64_t time() const { return last_[kindOf(TraceCall::now)].value; }

 private:
  struct Pending {
    TraceRecord record;
    std::size_t index = 0;  // in the trace, from 1
    bool answered = false;
  };

  // Reads on to the next effect, unless it is read already, or to the end.
  void fill() {
    while (!effectAhead_ && !decoder_.atEnd()) {
      Pending& pending = run_.emplace_back();
      if (decoder_.next(pending.record) != DecodeStatus::ok) {
        run_.pop_back();  // not a record: the trace ends before it
        return;
      }
      pending.index = ++read_;
      effectAhead_ = isEffect(pending.record, stopSeen_);
      if (effectAhead_) effectIndex_ = pending.index;
      if (pending.record.call == TraceCall::wait && pending.record.ok) stopSeen_ = true;
    }
  }

  const TraceRecord& answer(Pending& pending) {
    pending.answered = true;
    ++taken_;
    keep(pending.record);
    standstill_ = 0;
    asked_ = 0;
    if (options_.timeline) options_.timeline(std::to_string(time()) + " " + describe(pending.record));
    return pending.record;
  }

  // Every record before the effect has passed, asked or not.
  const TraceRecord& takeEffect() {
    for (Pending& pending : run_) {
      if (!pending.answered) ++taken_, keep(pending.record);
    }
    effect_ = std::move(run_.back().record);
    run_.clear();
    scan_.fill(0);
    effectAhead_ = false;
    standstill_ = 0;
    asked_ = 0;
    if (options_.timeline) options_.timeline(std::to_string(time()) + " " + describe(effect_));
    return effect_;
  }

  // What a look that the trace does not answer again is answered with
  // (a stop too, once requested).
  void keep(const TraceRecord& r) {
    if (!isEffect(r, true)) {
      TraceRecord& last = last_[kindOf(r.call)];
      last.ok = r.ok;
      last.value = r.value;
    }
  }

  // The trace holds nothing for this look before its next effect: the
  // outside is as it was when last asked.
  const TraceRecord& standStill(TraceCall call, std::int64_t argument) {
    asked_ |= 1u << kindOf(call);
    if (++standstill_ >= kMaxStandstill) spins(call, argument);
    const TraceRecord& still = last_[kindOf(call)];
    if (options_.timeline) options_.timeline(std::to_string(time()) + " " + describe(still) + " (as before)");
    return still;
  }

  [[noreturn]] void spins(TraceCall call, std::int64_t argument) const {
    std::string calls;
    for (std::size_t kind = 0; kind < kCallKinds; ++kind) {
      if (asked_ & (1u << kind)) append(calls, calls.empty() ? "" : ", ", callName(static_cast<TraceCall>(kind)));
    }
    throw ReplayStop{"at " + std::to_string(time()) + " ms the engine keeps asking " + calls + " (last " +
                         askedText(call, argument) + ") and never reaches " + nextEffect(),
                     Ending::divergence};
  }

  // Asked for what the rest of the trace does not hold: the recording ended
  // here (the user's quit, a lost stretch, its size bound) or the engine
  // wants another effect than the one recorded next.
  [[noreturn]] void endsHere(TraceCall call, std::int64_t argument) {
    const std::string asked = askedText(call, argument);
    if (!effectAhead_) throw ReplayStop{"the trace ends at " + asked, Ending::traceEnd};
    const TraceRecord& next = run_.back().record;
    const std::string at = "call " + std::to_string(effectIndex_) + " (" + asked + "): ";
    if (next.call == TraceCall::lost) {
      throw ReplayStop{at + "the recording lost " + std::to_string(next.value) + " call(s) here", Ending::divergence};
    }
    if (next.call == TraceCall::limit) {
      throw ReplayStop{at + "the recording reached its size bound here", Ending::sizeBound};
    }
    effect_ = next;
    differs(call, argument);
  }

  TraceDecoder decoder_;
  const ReplayOptions& options_;
  std::vector<Pending> run_;  // from the last effect taken up to and with the next
  bool effectAhead_ = false;  // run_ ends in an effect
  bool stopSeen_ = false;
  std::size_t effectIndex_ = 0;  // of the last effect read
  std::array<std::size_t, kCallKinds> scan_{};  // per call, where its first unanswered look may be
  TraceRecord effect_;  // the last one taken
  std::array<TraceRecord, kCallKinds> last_{};
  std::size_t read_ = 0;
  std::size_t taken_ = 0;
  std::size_t standstill_ = 0;
  std::uint32_t asked_ = 0;  // bits by call, during a standstill
};

class ReplayTransport final : public IHidTransport {
 public:
  // `system`: the recording's, whose codes the trace holds.
  ReplayTransport(TraceAnswers& answers, HostSystem system) : answers_(answers), system_(system) {}

  bool open(const std::u16string& path) override {
    const TraceRecord& r = answers_.ask(TraceCall::open);
    if (r.path != path) answers_.differs(TraceCall::open, kNoArgument, " of another path");
    return r.ok;
  }
  bool readReport(std::uint8_t* report, bool& received) override {
    const TraceRecord& r = answers_.ask(TraceCall::readReport);
    received = r.received;
    if (received) std::copy(r.report.begin(), r.report.end(), report);
    return r.ok;
  }
  bool sendFeature(const std::uint8_t* report) override {
    const TraceRecord& r = answers_.ask(TraceCall::sendFeature, report[kCommandCodeOffset]);
    if (!std::equal(r.report.begin(), r.report.end(), report)) {
      answers_.differs(TraceCall::sendFeature, report[kCommandCodeOffset], " with other bytes");
    }
    return r.ok;
  }
  bool poll() override { return answers_.ask(TraceCall::poll).ok; }
  bool close(std::uint32_t timeoutMs) override {
    const TraceRecord& r = answers_.ask(TraceCall::close, timeoutMs);
    if (r.value != timeoutMs) answers_.differs(TraceCall::close, timeoutMs);
    return r.ok;
  }
  std::uint32_t errorCode() const override {
    return static_cast<std::uint32_t>(answers_.ask(TraceCall::errorCode).value);
  }
  bool isReading() const override { return answers_.ask(TraceCall::isReading).ok; }
  bool isFeaturePending() const override { return answers_.ask(TraceCall::isFeaturePending).ok; }
  HostSystem codeSystem() const override { return system_; }

 private:
  TraceAnswers& answers_;
  const HostSystem system_;
};

// The recorded clock as a watcher follows it: times from its first reading,
// and the pace hook each time it moves.
class RecordedPace {
 public:
  explicit RecordedPace(const ReplayOptions& options) : options_(options) {}

  void reached(std::uint64_t recordedMs) {
    if (!started_) {
      started_ = true;
      first_ = recordedMs;
    }
    const std::uint64_t elapsed = since(recordedMs);
    if (!options_.pace || elapsed == paced_) return;
    watchMs_ += elapsed > paced_ ? std::min(elapsed - paced_, kLongestWatchedPauseMs) : 0;
    paced_ = elapsed;
    if (!options_.pace(watchMs_)) throw ReplayStop{"stopped at " + clockText(elapsed), Ending::stopped};
  }
  // A clock that went back counts as the start.
  std::uint64_t since(std::uint64_t recordedMs) const {
    return started_ && recordedMs > first_ ? recordedMs - first_ : 0;
  }

 private:
  const ReplayOptions& options_;
  bool started_ = false;
  std::uint64_t first_ = 0;
  std::uint64_t paced_ = 0;
  std::uint64_t watchMs_ = 0;
};

// A wait's length is not held: only whether it ended in a stop.
ConnectionHooks replayHooks(TraceAnswers& answers, RecordedPace& pace, HostSystem system) {
  ConnectionHooks hooks;
  hooks.enumerate = [&answers] { return answers.ask(TraceCall::enumerate).devices; };
  hooks.createTransport = [&answers, system]() -> std::unique_ptr<IHidTransport> {
    if (!answers.ask(TraceCall::createTransport).ok) return nullptr;
    return std::make_unique<ReplayTransport>(answers, system);
  };
  hooks.now = [&answers, &pace] {
    const std::uint64_t now = answers.ask(TraceCall::now).value;
    pace.reached(now);
    return now;
  };
  hooks.wait = [&answers](std::uint32_t ms) { return answers.ask(TraceCall::wait, ms).ok; };
  // The recorded clock answers every later `now`; a replay need not wait.
  hooks.sleep = [](std::uint32_t) {};
  return hooks;
}

}  // namespace

std::uint64_t frameHash(const OutputFrame& frame) {
  std::uint64_t hash = kFnvOffset;
  for (std::uint32_t pixel : frame) {
    for (unsigned i = 0; i < kBytesPerPixel; ++i) {
      hash ^= static_cast<std::uint8_t>(pixel >> (i * kBitsPerByte));
      hash *= kFnvPrime;
    }
  }
  return hash;
}

ReplayResult replayTrace(const Recording& trace, const ReplayOptions& options) {
  ReplayResult result;
  if (trace.kind != RecordingKind::trace || trace.recordsBegin > trace.recordsEnd ||
      trace.recordsEnd > trace.bytes.size()) {
    result.stopReason = "nothing to replay: not a trace that holds its bytes (readRecording)";
    return result;
  }
  TraceAnswers answers(trace, options);
  RecordedPace pace(options);
  auto onFrame = [&](const OutputFrame& frame) {
    if (options.onFrame) options.onFrame(result.frameHashes.size(), frame);
    result.frameHashes.push_back(frameHash(frame));
  };
  auto worker = std::make_unique<ConnectionWorker>(
      WaitFunction{}, onFrame, ModelCallback{}, RawReportCallback{}, replayHooks(answers, pace, trace.header.system),
      options.onSerial, [&answers] { return answers.ask(TraceCall::pollResume).ok; });
  worker->setStatusObserver([&](const std::string& text) {
    result.statusTexts.push_back(text);
    result.statusTimesMs.push_back(pace.since(answers.time()));
    if (options.timeline) options.timeline(std::to_string(answers.time()) + " status \"" + printable(text) + "\"");
  });
  worker->setRandomSource([&answers](std::uint32_t& out) {
    const TraceRecord& r = answers.ask(TraceCall::random);
    if (r.ok) out = static_cast<std::uint32_t>(r.value);
    return r.ok;
  });
  try {
    worker->run();
    result.complete = answers.atEnd();
    if (!result.complete) {
      result.stopReason = "the worker ended before the trace, which holds " + answers.nextEffect() + " next";
      result.diverged = true;
    }
  } catch (const ReplayStop& stop) {
    result.complete = stop.ending == Ending::traceEnd;
    result.stopReason = stop.reason;
    result.diverged = stop.ending == Ending::divergence;
    result.stopped = stop.ending == Ending::stopped;
    result.sizeBound = stop.ending == Ending::sizeBound;
  } catch (const std::exception& error) {
    // As on the host, whose bridge shows the text and ends the worker: the
    // recording ends there too (a trace with a failed createTransport).
    result.stopReason = std::string("the worker stopped: ") + error.what();
    result.diverged = !answers.atEnd();
  }
  result.callsAnswered = answers.answered();
  result.endMs = pace.since(answers.time());
  result.statistics = worker->statistics();
  return result;
}

std::string describeTraceOrigin(const Recording& trace) {
  return std::string("trace from ") + systemName(trace.header.system) + ", program " + trace.header.programVersion +
         ", " + std::to_string(trace.recordCount) + " calls\n";
}

std::string describeReplay(const ReplayResult& result) {
  std::string out;
  for (const std::string& text : result.statusTexts) out += "status \"" + printable(text) + "\"\n";
  for (std::uint64_t hash : result.frameHashes) out += "frame " + hex(hash) + "\n";
  const WorkerStatistics& s = result.statistics;
  out += "statistics frames " + std::to_string(s.frames) + " states " + std::to_string(s.states) + " images " +
         std::to_string(s.images) + " sessions " + std::to_string(s.sessions) + " heartbeats " +
         std::to_string(s.heartbeats) + " failures " + std::to_string(s.failures) + " maxLoopGapMs " +
         std::to_string(s.maxLoopGapMs) + " maxReadBurstMs " + std::to_string(s.maxReadBurstMs) + "\n";
  out += "calls " + std::to_string(result.callsAnswered) + "\n";
  out += result.complete ? "replayed to the end of the trace\n" : "stopped: " + result.stopReason + "\n";
  return out;
}

std::string spellVersion(std::string_view recorded) {
  std::string spelled(recorded);
  if (spelled.find_first_not_of("0123456789.") != std::string::npos) return spelled;
  std::replace(spelled.begin(), spelled.end(), '.', '-');
  return spelled;
}

std::string replaySourceText(std::string_view path, const Recording& trace) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(name) + " (" + systemName(trace.header.system) + ", " +
         spellVersion(trace.header.programVersion) + ")";
}

std::string clockText(std::uint64_t ms) {
  constexpr std::uint64_t kMsPerSecond = 1000;
  constexpr std::uint64_t kSecondsPerMinute = 60;
  const std::uint64_t seconds = ms / kMsPerSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%02" PRIu64 ":%02" PRIu64 ".%03" PRIu64, seconds / kSecondsPerMinute,
                seconds % kSecondsPerMinute, ms % kMsPerSecond);
  return text;
}

ReplayEnding replayEnding(const Recording& trace, const ReplayResult& result) {
  if (result.diverged) return ReplayEnding::differs;
  if (result.stopped) return ReplayEnding::stopped;
  if (result.sizeBound) return ReplayEnding::sizeBound;
  if (trace.tornBytes != 0) return ReplayEnding::cutShort;
  return ReplayEnding::ended;
}

const char* endingWords(ReplayEnding ending) {
  switch (ending) {
    case ReplayEnding::ended: break;
    case ReplayEnding::cutShort: return "ended where the file was cut short";
    case ReplayEnding::sizeBound: return "ended where the recording reached its size bound";
    case ReplayEnding::stopped: return "stopped";
    case ReplayEnding::differs: return "stopped: this program differs from the one that recorded it";
  }
  return "ended";
}

std::string explainEnding(const Recording& trace, const ReplayResult& result) {
  const std::string at = clockText(result.endMs);
  switch (replayEnding(trace, result)) {
    case ReplayEnding::differs:
      return "this program differs from the one that recorded the trace (" +
             spellVersion(trace.header.programVersion) + ") at " + at + ": " + result.stopReason +
             "; replay it with the version that recorded it, or send the trace with this line to the developers";
    case ReplayEnding::sizeBound: return "the recording reached its size bound at " + at + "; the rest was not recorded";
    case ReplayEnding::cutShort: return describeCut(trace);
    case ReplayEnding::ended:
    case ReplayEnding::stopped: break;
  }
  return {};
}

std::string summarizeReplay(const Recording& trace, const ReplayResult& result, std::string_view name) {
  std::string out;
  append(out, "replay of ", name, ": a trace recorded on ", systemName(trace.header.system), " by Pelmora ",
         spellVersion(trace.header.programVersion), ", ", std::to_string(trace.recordCount), " calls\n");
  const std::vector<std::string>& texts = result.statusTexts;
  auto timeOf = [&result](std::size_t i) { return i < result.statusTimesMs.size() ? result.statusTimesMs[i] : 0; };
  // A text drawn again and again (an error each retry) is one line.
  for (std::size_t i = 0, run = 1; i < texts.size(); i += run) {
    for (run = 1; i + run < texts.size() && texts[i + run] == texts[i];) ++run;
    std::string text = texts[i];
    std::replace(text.begin(), text.end(), '\n', ' ');
    append(out, clockText(timeOf(i)), "  ", text);
    if (run > 1) append(out, " (", std::to_string(run), " times");
    if (run > 1 && timeOf(i + run - 1) != timeOf(i)) append(out, ", to ", clockText(timeOf(i + run - 1)));
    append(out, run > 1 ? ")\n" : "\n");
  }
  const WorkerStatistics& s = result.statistics;
  append(out, "sessions ", std::to_string(s.sessions), ", failures ", std::to_string(s.failures), ", frames ",
         std::to_string(s.frames), ", states ", std::to_string(s.states), ", images ",
         std::to_string(s.images), ", heartbeats ", std::to_string(s.heartbeats), "\n");
  append(out, "longest loop gap ", std::to_string(s.maxLoopGapMs), " ms, longest read burst ",
         std::to_string(s.maxReadBurstMs), " ms\n");
  append(out, clockText(result.endMs), "  ", endingWords(replayEnding(trace, result)), "\n");
  if (const std::string why = explainEnding(trace, result); !why.empty()) append(out, why, "\n");
  return out;
}

}  // namespace pelmora::trace
