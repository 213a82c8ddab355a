// A session recorded on the simulator replays to the very pictures the
// session drew: the replay keeps the handshake (same request ids), the
// order of messages and the pictures, also when the host read the reports
// late and in bursts.
#include "tools/capture_replay/capture_replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>

#include <unistd.h>

#include "core/protocol/session_engine.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"
#include "trace/trace_blocks.h"
#include "trace/trace_recording.h"
#include "trace/trace_replay.h"

namespace pelmora::replay {
namespace {

struct Recorded {
  sim::Capture capture;
  std::vector<std::uint64_t> digests;
};

// `stallEveryMs`: the host stops reading for 20 ms that often, so reports
// pile up and are read in bursts with equal times.
Recorded recordSession(std::uint32_t stallEveryMs) {
  sim::VirtualClock clock;
  sim::SimBus bus(clock);
  bus.addDevice(u"dev", u"SN1", {.seed = 3, .modeCycleMs = 700});
  Recorded out;
  sim::CaptureRecorder recorder([&] { return clock.now(); });
  ConnectionHooks hooks = bus.hooks(clock);
  auto wait = hooks.wait;
  hooks.wait = [&, wait](std::uint32_t ms) {
    if (stallEveryMs && clock.now() % stallEveryMs < ms) ms += 20;
    return wait(ms);
  };
  ConnectionWorker worker(
      {}, [](const OutputFrame&) {},
      [&](const LcdModel&, const LcdCanvas& canvas) { out.digests.push_back(canvasDigest(canvas)); },
      recorder.observer(), hooks, {}, {});
  worker.setRandomSource([](std::uint32_t& value) {
    value = kReplayRandom;
    return true;
  });
  clock.stopAt(clock.now() + 6000);
  worker.run();
  out.capture = recorder.capture();
  return out;
}

TEST(CaptureReplayTest, ARecordedSessionReplaysToTheSamePictures) {
  for (std::uint32_t stallEveryMs : {0u, 333u}) {
    const Recorded recorded = recordSession(stallEveryMs);
    ASSERT_GT(recorded.digests.size(), 50u) << stallEveryMs;
    EXPECT_EQ(replayCaptureFrames(recorded.capture), recorded.digests) << stallEveryMs;
  }
}

TEST(CaptureReplayTest, AnEmptyCaptureDrawsNothing) { EXPECT_TRUE(replayCaptureFrames({}).empty()); }

// A session with an unplug, a replug and a resume, recorded as a trace
// through the decorator, and what the session showed while it ran.
struct RecordedTrace {
  trace::Recording file;
  std::vector<std::uint64_t> hashes;
  WorkerStatistics statistics;
};

RecordedTrace recordTrace(const std::string& path) {
  sim::VirtualClock clock;
  sim::SimBus bus(clock);
  bus.addDevice(u"dev", u"SN1", {.seed = 5, .modeCycleMs = 700});
  RecordedTrace out;
  {
    std::string error;
    auto writer = trace::TraceWriter::create(path, trace::ownHeader(), error);
    EXPECT_TRUE(writer) << error;
    trace::TraceRecording recording(*writer);
    const std::uint64_t start = clock.now();
    ConnectionWorker worker(
        {}, [&](const OutputFrame& frame) { out.hashes.push_back(trace::frameHash(frame)); }, {}, {},
        bus.hooks(clock), {}, [&, resumed = false]() mutable {
          if (resumed || clock.now() < start + 6000) return false;
          return resumed = true;
        });
    worker.setRecorder(&recording);
    clock.stopAt(start + 9000);
    clock.stopWhen([&, phase = 0]() mutable {
      if (phase == 0 && clock.now() >= start + 3000) bus.unplug(u"dev"), phase = 1;
      if (phase == 1 && clock.now() >= start + 3500) bus.replug(u"dev", u"dev2"), phase = 2;
      return false;
    });
    worker.run();
    out.statistics = worker.statistics();
  }
  out.file = trace::readRecordingFile(path);
  return out;
}

std::string tracePath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid()) + ".trace")).string();
}

TEST(TraceReplayTest, ARecordedSessionReplaysToTheSameFramesAndStatistics) {
  const std::string path = tracePath("replay");
  const RecordedTrace recorded = recordTrace(path);
  std::remove(path.c_str());
  ASSERT_EQ(recorded.file.kind, trace::RecordingKind::trace) << recorded.file.error;
  EXPECT_EQ(recorded.file.tornBytes, 0u);
  const trace::ReplayResult replay = trace::replayTrace(recorded.file);
  EXPECT_TRUE(replay.complete) << replay.stopReason;
  EXPECT_EQ(replay.frameHashes, recorded.hashes);
  EXPECT_EQ(std::memcmp(&replay.statistics, &recorded.statistics, sizeof replay.statistics), 0);
  const auto shows = [&](const char* text) {
    return std::find(replay.statusTexts.begin(), replay.statusTexts.end(), text) != replay.statusTexts.end();
  };
  EXPECT_TRUE(shows("Connecting...")) << trace::describeReplay(replay);
  // The unplug's code is the simulated platform's own (19 here, 1167 on Windows).
  EXPECT_TRUE(std::any_of(replay.statusTexts.begin(), replay.statusTexts.end(), [](const std::string& text) {
    return text.starts_with("Connection Error\nRead Failed\nError ");
  })) << trace::describeReplay(replay);
  EXPECT_TRUE(shows("Reconnecting...")) << trace::describeReplay(replay);  // after the resume
  // The same again, to the byte: nothing in a replay depends on the machine.
  EXPECT_EQ(trace::describeReplay(trace::replayTrace(recorded.file)), trace::describeReplay(replay));
}

// A file a user sends may be anything: it is read only as far as its whole
// blocks and records go, refused as damaged where a block fails its check,
// and refused with one line that names the format when it is not a
// recording of ours.
TEST(TraceReplayTest, ATraceIsTrimmedOrRefusedNeverTrusted) {
  EXPECT_EQ(trace::crc32(std::span(reinterpret_cast<const std::uint8_t*>("123456789"), 9)), 0xCBF43926u);
  std::vector<std::uint8_t> good = trace::encodeHeader(trace::ownHeader());
  const std::size_t header = good.size();
  trace::TraceEncoder encoder;
  trace::TraceRecord record;
  std::vector<std::uint8_t> records;
  record.call = trace::TraceCall::now;
  record.value = 1000;
  encoder.encode(record, records);
  trace::appendBlock(good, records);
  const std::size_t second = good.size();  // one record a block
  records.clear();
  record.call = trace::TraceCall::readReport;
  record.ok = record.received = true;
  encoder.encode(record, records);
  trace::appendBlock(good, records);
  auto with = [&](auto change) {
    std::vector<std::uint8_t> bytes = good;
    change(bytes);
    return trace::readRecording(bytes);
  };
  const auto torn = with([](auto& b) { b.resize(b.size() - 10); });
  EXPECT_EQ(torn.kind, trace::RecordingKind::trace);
  EXPECT_EQ(torn.recordCount, 1u);
  EXPECT_EQ(trace::describeCut(torn), "the trace was cut short at byte " + std::to_string(second) +
                                          " (its recording did not finish); the calls before it replay");
  EXPECT_EQ(trace::readRecording(sim::serializeCapture(sim::Capture(2))).capture.size(), 2u);
  const auto at = [](std::size_t offset, const char* why) {
    return "damaged trace: record at byte " + std::to_string(offset) + ": " + why + "; ask for the file again";
  };
  const auto damagedBlock = [](std::size_t offset) {
    return "damaged trace: the block at byte " + std::to_string(offset) +
           " does not match its check; ask for the file again";
  };
  // A record the writer itself got wrong: its block's check is right.
  const auto firstRecord = [&](auto change) {
    return [&, change](std::vector<std::uint8_t>& b) {
      change(b[header + trace::kBlockHeaderBytes]);
      trace::sealBlock(std::span(b).subspan(header, second - header));
    };
  };

  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
    std::string error;
  } refused[] = {
      {"foreign", [](auto& b) { b[0] = 'X'; }, "not a trace or capture file; choose the file that --record wrote"},
      {"unknown version", [](auto& b) { b[8] = 0; }, "a trace or capture of an unknown version (0); replay it with the program that recorded it"},
      {"newer", [](auto& b) { b[8] = 4; },
       "a trace of version 4, from a newer program: this one reads up to version 3; replay it with the newer one"},
      {"header cut short", [&](auto& b) { b.resize(header - 1); }, "the trace's header is cut short; record it again"},
      {"damaged header", [](auto& b) { b[16] = 9; },
       "damaged trace: the header does not match its check; ask for the file again"},
      {"no calls", [&](auto& b) { b.resize(header); }, "the trace holds no calls; record it again"},
      // Offsets count from the file's start, where a hex viewer counts them.
      {"unknown call", firstRecord([](auto& c) { c = 0x1F; }), at(header + trace::kBlockHeaderBytes, "unknown call")},
      {"result where none", firstRecord([](auto& c) { c |= 0x80; }),
       at(header + trace::kBlockHeaderBytes, "a result for now")},
      // Version 2: no blocks, zigzag times (5: one millisecond back).
      {"version 2, clock going back",
       [&](auto& b) { b.resize(header - trace::kTraceHeaderCheckLength), b[8] = 2, b.insert(b.end(), {3, 4, 3, 5}); },
       at(header - trace::kTraceHeaderCheckLength + 2, "the clock goes back")},
  };
  for (const auto& c : refused) {
    const auto result = with(c.change);
    EXPECT_EQ(result.kind, trace::RecordingKind::refused) << c.what;
    EXPECT_EQ(result.error, c.error) << c.what;
  }
  // Any byte of a block changed is damage of that block, never a replay.
  for (std::size_t i = header; i < good.size(); ++i) {
    const trace::Recording flipped = with([i](auto& b) { b[i] ^= 0x10; });
    EXPECT_EQ(flipped.error, damagedBlock(i < second ? header : second)) << i;
    EXPECT_TRUE(flipped.damaged) << i;
  }

  // Neither the decoder nor the replay reads past what it was given; an
  // exact copy has no spare capacity for a stray read to land in.
  trace::Recording unread = trace::readRecording(good);
  const std::vector<std::uint8_t> exact(unread.bytes);
  trace::TraceDecoder decoder{exact};
  std::size_t whole = 0;
  while (decoder.next(record) == trace::DecodeStatus::ok) ++whole;
  EXPECT_EQ(whole, 2u);
  EXPECT_TRUE(decoder.atEnd());
  EXPECT_EQ(decoder.next(record), trace::DecodeStatus::torn);
  unread.bytes.clear();
  const trace::ReplayResult none = trace::replayTrace(unread);
  EXPECT_FALSE(none.complete || none.diverged);
  EXPECT_EQ(none.stopReason, "nothing to replay: not a trace that holds its bytes (readRecording)");

  // A transport that could not be made ends the worker, as on the host,
  // instead of an exception out of the replay (the fuzzer found it).
  std::vector<std::uint8_t> failed;
  trace::TraceEncoder steps;
  trace::TraceRecord step;
  step.call = trace::TraceCall::wait;  // wait(0), no stop
  steps.encode(step, failed);
  step.call = trace::TraceCall::enumerate;
  step.devices = {HidDeviceInfo{u"/dev/hidraw0", u"K1", ""}};
  steps.encode(step, failed);
  step.call = trace::TraceCall::createTransport;
  steps.encode(step, failed);
  std::vector<std::uint8_t> file = trace::encodeHeader(trace::ownHeader());
  trace::appendBlock(file, failed);
  const trace::ReplayResult stopped = trace::replayTrace(trace::readRecording(file));
  EXPECT_EQ(stopped.stopReason, "the worker stopped: Transport allocation failed");
  EXPECT_FALSE(stopped.diverged);
}

// What a live session shows when the simulator refuses its open as busy.
std::string liveBusyOpenText() {
  sim::VirtualClock clock;
  sim::SimBus bus(clock);
  sim::LinkFaults& link = bus.addDevice(u"dev", u"SN1").link;
  link.openFailureCode = sim::kPlatformCodes.busy;
  link.openFailures.remaining = 1;
  ConnectionWorker worker({}, [](const OutputFrame&) {}, {}, {}, bus.hooks(clock), {}, {});
  clock.stopAt(clock.now() + 500);
  worker.run();
  return worker.lastError;
}

// The trace read again after `change` edited its records.
trace::Recording rewritten(const trace::Recording& read, const std::function<void(std::vector<trace::TraceRecord>&)>& change) {
  std::vector<trace::TraceRecord> records;
  trace::TraceDecoder decoder(std::span(read.bytes).subspan(read.recordsBegin, read.recordsEnd - read.recordsBegin));
  for (trace::TraceRecord record; decoder.next(record) == trace::DecodeStatus::ok;) records.push_back(record);
  change(records);
  std::vector<std::uint8_t> body;
  trace::TraceEncoder encoder;
  for (const trace::TraceRecord& record : records) encoder.encode(record, body);
  std::vector<std::uint8_t> bytes = trace::encodeHeader(read.header);
  trace::appendBlock(bytes, body);
  return trace::readRecording(bytes);
}

// What an engine may ask in any order: the calls that found nothing new.
bool onlyLooks(const trace::TraceRecord& r) {
  using trace::TraceCall;
  switch (r.call) {
    case TraceCall::wait:
    case TraceCall::pollResume: return !r.ok;
    case TraceCall::readReport: return r.ok && !r.received;
    case TraceCall::poll: return r.ok;
    case TraceCall::now:
    case TraceCall::errorCode:
    case TraceCall::isReading:
    case TraceCall::isFeaturePending: return true;
    default: return false;
  }
}

// Each run of looks between two effects interleaved at random, every kind
// of call keeping its own order (the clock never goes back).
void shuffleLooks(std::vector<trace::TraceRecord>& records) {
  std::mt19937 random(30);
  for (auto begin = records.begin(); begin != records.end();) {
    const auto end = std::find_if_not(begin, records.end(), onlyLooks);
    std::vector<trace::TraceRecord> run(begin, end);
    std::vector<trace::TraceCall> order;
    for (const trace::TraceRecord& r : run) order.push_back(r.call);
    std::shuffle(order.begin(), order.end(), random);
    std::map<trace::TraceCall, std::size_t> next;
    for (auto out = begin; out != end; ++out) {
      std::size_t& i = next[order[static_cast<std::size_t>(out - begin)]];
      while (run[i].call != order[static_cast<std::size_t>(out - begin)]) ++i;
      *out = run[i++];
    }
    begin = end == records.end() ? end : end + 1;
  }
}

// The committed traces, recorded on other systems (each with the command that
// made it, in tests/traces/README.md), replay here to what they showed there,
// also with their looks asked in another order; a send they lack stops the
// replay at that send; a live session in the same process still reads its
// codes as its own.
TEST(TraceReplayTest, CommittedTracesReplayToTheirRecordedResults) {
  const std::string busy = withErrorCode("Device Busy", sim::kPlatformCodes.busy);
  for (const char* name : {"mac_unplug", "windows_session", "linux_kernel"}) {
    const std::string base = std::string(PELMORA_TRACE_DIR) + "/" + name;
    const trace::Recording read = trace::readRecordingFile(base + ".trace");
    ASSERT_EQ(read.kind, trace::RecordingKind::trace) << read.error;
    std::ifstream expected(base + ".expected");
    const std::string want((std::istreambuf_iterator<char>(expected)), std::istreambuf_iterator<char>());
    EXPECT_EQ(trace::describeTraceOrigin(read) + trace::describeReplay(trace::replayTrace(read)), want) << name;

    const trace::Recording shuffled = rewritten(read, shuffleLooks);
    EXPECT_NE(shuffled.bytes, read.bytes) << name;
    EXPECT_EQ(trace::describeTraceOrigin(shuffled) + trace::describeReplay(trace::replayTrace(shuffled)), want) << name;

    const auto isSend = [](const trace::TraceRecord& r) { return r.call == trace::TraceCall::sendFeature; };
    const auto secondSend = [&](std::vector<trace::TraceRecord>& records) {
      return std::find_if(std::find_if(records.begin(), records.end(), isSend) + 1, records.end(), isSend);
    };
    const trace::ReplayResult cut = trace::replayTrace(rewritten(read, [&](auto& records) {
      records.erase(secondSend(records));
    }));
    EXPECT_TRUE(cut.diverged) << name;
    EXPECT_NE(cut.stopReason.find("differs: the engine asked sendFeature command "), std::string::npos)
        << name << ": " << cut.stopReason;
    EXPECT_NE(trace::summarizeReplay(read, cut, "x").find(
                  "this program differs from the one that recorded the trace (2026-10-17) at "),
              std::string::npos)
        << name;
    // Paced as a window paces it: the clock offered in order, a stop ending
    // the replay there with the frames up to it as they were.
    const trace::ReplayResult whole = trace::replayTrace(read);
    std::vector<std::uint64_t> offered;
    trace::ReplayOptions halfway;
    halfway.pace = [&](std::uint64_t ms) {
      offered.push_back(ms);
      return ms < whole.endMs / 2;
    };
    const trace::ReplayResult stopped = trace::replayTrace(read, halfway);
    EXPECT_TRUE(stopped.stopped && !stopped.complete && !stopped.diverged) << name;
    EXPECT_TRUE(std::is_sorted(offered.begin(), offered.end())) << name;
    EXPECT_LT(stopped.frameHashes.size(), whole.frameHashes.size()) << name;
    EXPECT_TRUE(std::equal(stopped.frameHashes.begin(), stopped.frameHashes.end(), whole.frameHashes.begin())) << name;
    // A send the engine never makes: it keeps looking while the clock stands.
    const trace::ReplayResult extra = trace::replayTrace(rewritten(read, [&](auto& records) {
      const auto send = secondSend(records);
      records.insert(send, *send);
    }));
    EXPECT_TRUE(extra.diverged) << name;
    EXPECT_NE(extra.stopReason.find("the engine keeps asking now, wait, "), std::string::npos)
        << name << ": " << extra.stopReason;
    EXPECT_EQ(liveBusyOpenText(), busy) << "after " << name;
  }
}

}  // namespace
}  // namespace pelmora::replay
