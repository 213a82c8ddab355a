#include "trace/trace_replay.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "core/protocol/session_engine.h"
#include "core/render/status_screen.h"

namespace pelmora::trace {
namespace {

constexpr std::uint64_t kFnvOffset = 0xCBF29CE484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ull;
constexpr unsigned kBitsPerByte = 8;
constexpr unsigned kBytesPerPixel = 4;

// Ends the replay from inside a call; nothing in the core catches it.
struct ReplayStop {
  std::string reason;
  bool endOfTrace;
};

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

std::string askedText(TraceCall call, std::int64_t argument) {
  std::string text = callName(call);
  if (call == TraceCall::sendFeature) {
    append(text, " command ", std::to_string(argument));
  } else if (argument != kNoArgument) {
    append(text, "(", std::to_string(argument), ")");
  }
  return text;
}

// The trace as answers, taken in order.
class TraceAnswers {
 public:
  TraceAnswers(const Recording& trace, const ReplayOptions& options)
      : decoder_(std::span(trace.bytes).subspan(trace.recordsBegin, trace.recordsEnd - trace.recordsBegin)),
        options_(options) {}

  // The next record, which must answer `call`; `argument` (the number the
  // engine passed, if any) only names the call in the reason of a stop.
  const TraceRecord& take(TraceCall call, std::int64_t argument = kNoArgument) {
    if (decoder_.atEnd() || decoder_.next(record_) != DecodeStatus::ok) {
      const std::string asked = askedText(call, argument);
      throw ReplayStop{"the trace ends at call " + std::to_string(index_ + 1) + " (" + asked + ")", true};
    }
    ++index_;
    if (record_.call == TraceCall::lost || record_.call == TraceCall::limit) {
      const std::string asked = askedText(call, argument);
      const bool lost = record_.call == TraceCall::lost;
      throw ReplayStop{"call " + std::to_string(index_) + " (" + asked + "): " +
                           (lost ? "the recording lost " + std::to_string(record_.value) + " call(s) here"
                                 : "the recording reached its size bound here"),
                       !lost};
    }
    if (record_.call != call) differs(call, argument);
    if (record_.call == TraceCall::now) time_ = record_.value;
    if (options_.timeline) options_.timeline(std::to_string(time_) + " " + describe(record_));
    return record_;
  }

  [[noreturn]] void differs(TraceCall call, std::int64_t argument, const char* detail = "") const {
    throw ReplayStop{"call " + std::to_string(index_) + " at " + std::to_string(time_) + " ms differs: the engine asked " +
                         askedText(call, argument) + detail + ", the trace holds " + describe(record_),
                     false};
  }

  bool atEnd() const { return decoder_.atEnd(); }
  std::size_t answered() const { return index_; }
  std::uint64_t time() const { return time_; }
  const DeviceList& lastDevices() const { return devices_; }
  void keepDevices(const DeviceList& devices) { devices_ = devices; }

 private:
  TraceDecoder decoder_;
  const ReplayOptions& options_;
  TraceRecord record_;
  DeviceList devices_;
  std::size_t index_ = 0;
  std::uint64_t time_ = 0;
};

class ReplayTransport final : public IHidTransport {
 public:
  // `system`: the recording's, whose codes the trace holds.
  ReplayTransport(TraceAnswers& answers, HostSystem system) : answers_(answers), system_(system) {}

  bool open(const std::u16string& path) override {
    const TraceRecord& r = answers_.take(TraceCall::open);
    if (r.path != path) answers_.differs(TraceCall::open, kNoArgument, " of another path");
    return r.ok;
  }
  bool readReport(std::uint8_t* report, bool& received) override {
    const TraceRecord& r = answers_.take(TraceCall::readReport);
    received = r.received;
    if (received) std::copy(r.report.begin(), r.report.end(), report);
    return r.ok;
  }
  bool sendFeature(const std::uint8_t* report) override {
    const TraceRecord& r = answers_.take(TraceCall::sendFeature, report[kCommandCodeOffset]);
    if (!std::equal(r.report.begin(), r.report.end(), report)) {
      answers_.differs(TraceCall::sendFeature, report[kCommandCodeOffset], " with other bytes");
    }
    return r.ok;
  }
  bool poll() override { return answers_.take(TraceCall::poll).ok; }
  bool close(std::uint32_t timeoutMs) override {
    const TraceRecord& r = answers_.take(TraceCall::close, timeoutMs);
    if (r.value != timeoutMs) answers_.differs(TraceCall::close, timeoutMs);
    return r.ok;
  }
  std::uint32_t errorCode() const override {
    return static_cast<std::uint32_t>(answers_.take(TraceCall::errorCode).value);
  }
  bool isReading() const override { return answers_.take(TraceCall::isReading).ok; }
  bool isFeaturePending() const override { return answers_.take(TraceCall::isFeaturePending).ok; }
  HostSystem codeSystem() const override { return system_; }

 private:
  TraceAnswers& answers_;
  const HostSystem system_;
};

ConnectionHooks replayHooks(TraceAnswers& answers, HostSystem system) {
  ConnectionHooks hooks;
  hooks.enumerate = [&answers] {
    DeviceList devices = answers.take(TraceCall::enumerate).devices;
    answers.keepDevices(devices);
    return devices;
  };
  hooks.createTransport = [&answers, system]() -> std::unique_ptr<IHidTransport> {
    if (!answers.take(TraceCall::createTransport).ok) return nullptr;
    return std::make_unique<ReplayTransport>(answers, system);
  };
  hooks.now = [&answers] { return answers.take(TraceCall::now).value; };
  hooks.wait = [&answers](std::uint32_t ms) {
    const TraceRecord& r = answers.take(TraceCall::wait, ms);
    if (r.value != ms) answers.differs(TraceCall::wait, ms);
    return r.ok;
  };
  // The recorded clock answers every later `now`; a replay need not wait.
  hooks.sleep = [](std::uint32_t) {};
  return hooks;
}

// The worker hands out pictures only: find a status screen's text by
// drawing the candidates again; only the right one leaves it unchanged.
class StatusReader {
 public:
  std::string read(const OutputFrame& frame, const std::string& lastError, const DeviceList& devices) {
    static constexpr const char* kKnown[] = {"No Device", kTextConnecting, kTextReconnecting,
                                             kTextCancellationPending, kTextConnectionError};
    for (const char* text : kKnown) {
      if (matches(frame, text)) return text;
    }
    if (!lastError.empty() && matches(frame, lastError)) return lastError;
    for (const HidDeviceInfo& device : devices) {
      if (!device.error.empty() && matches(frame, device.error)) return device.error;
    }
    return "(status screen)";
  }

 private:
  bool matches(const OutputFrame& frame, const std::string& text) {
    *scratch_ = frame;
    drawStatusScreen(*scratch_, text.data(), text.size(), true);
    return *scratch_ == frame;
  }

  std::unique_ptr<OutputFrame> scratch_ = std::make_unique<OutputFrame>();
};

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
  StatusReader statusReader;
  ConnectionWorker* worker = nullptr;
  bool nextIsLcd = false;
  auto onFrame = [&](const OutputFrame& frame) {
    if (options.onFrame) options.onFrame(result.frameHashes.size(), frame);
    result.frameHashes.push_back(frameHash(frame));
    if (std::exchange(nextIsLcd, false)) return;
    result.statusTexts.push_back(statusReader.read(frame, worker->lastError, answers.lastDevices()));
    if (options.timeline) options.timeline(std::to_string(answers.time()) + " status \"" + printable(result.statusTexts.back()) + "\"");
  };
  auto onModel = [&](const LcdModel&, const LcdCanvas&) { nextIsLcd = true; };
  ConnectionHooks hooks = replayHooks(answers, trace.header.system);
  auto worker_ = std::make_unique<ConnectionWorker>(
      WaitFunction{}, onFrame, onModel, RawReportCallback{}, hooks, SerialCallback{},
      [&answers] { return answers.take(TraceCall::pollResume).ok; });
  worker = worker_.get();
  worker->setRandomSource([&answers](std::uint32_t& out) {
    const TraceRecord& r = answers.take(TraceCall::random);
    if (r.ok) out = static_cast<std::uint32_t>(r.value);
    return r.ok;
  });
  try {
    worker->run();
    result.complete = answers.atEnd();
    if (!result.complete) {
      result.stopReason = "the worker ended before the trace, after call " + std::to_string(answers.answered());
      result.diverged = true;
    }
  } catch (const ReplayStop& stop) {
    result.stopReason = stop.reason;
    result.diverged = !stop.endOfTrace;
  } catch (const std::exception& error) {
    // As on the host, whose bridge shows the text and ends the worker: the
    // recording ends there too (a trace with a failed createTransport).
    result.stopReason = std::string("the worker stopped: ") + error.what();
    result.diverged = !answers.atEnd();
  }
  result.callsAnswered = answers.answered();
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

}  // namespace pelmora::trace
