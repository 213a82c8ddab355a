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

#include <unistd.h>

#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"
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

// A call the engine makes that the trace does not hold next, here because
// one transport call is cut out of the middle, ends the replay at that call.
TEST(TraceReplayTest, AMissingCallStopsTheReplayAtThatCall) {
  const std::string path = tracePath("divergence");
  RecordedTrace recorded = recordTrace(path);
  std::remove(path.c_str());
  ASSERT_EQ(recorded.file.kind, trace::RecordingKind::trace) << recorded.file.error;
  std::vector<std::uint8_t>& bytes = recorded.file.bytes;
  // The first poll after the first 500 calls: one byte, its call in the low bits.
  trace::TraceDecoder decoder(std::span<const std::uint8_t>(bytes).subspan(recorded.file.recordsBegin));
  trace::TraceRecord record;
  std::size_t calls = 0;
  while (decoder.next(record) == trace::DecodeStatus::ok && (++calls < 500 || record.call != trace::TraceCall::poll)) {
  }
  const std::size_t at = recorded.file.recordsBegin + decoder.position() - 1;
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at));
  recorded.file.recordsEnd -= 1;
  const trace::ReplayResult replay = trace::replayTrace(recorded.file);
  EXPECT_TRUE(replay.diverged);
  EXPECT_EQ(replay.callsAnswered, calls);
  EXPECT_NE(replay.stopReason.find("differs: the engine asked poll"), std::string::npos) << replay.stopReason;
}

// A file a user sends may be anything: it is read only as far as its whole
// records go, and refused with one line that names the format when it is
// not a recording of ours.
TEST(TraceReplayTest, ATraceIsTrimmedOrRefusedNeverTrusted) {
  std::vector<std::uint8_t> good = trace::encodeHeader(trace::ownHeader());
  const std::size_t header = good.size();
  trace::TraceEncoder encoder;
  trace::TraceRecord record;
  record.call = trace::TraceCall::now;
  record.value = 1000;
  encoder.encode(record, good);
  record.call = trace::TraceCall::readReport;
  record.ok = record.received = true;
  encoder.encode(record, good);
  auto with = [&](auto change) {
    std::vector<std::uint8_t> bytes = good;
    change(bytes);
    return trace::readRecording(bytes);
  };
  const auto torn = with([](auto& b) { b.resize(b.size() - 10); });
  EXPECT_EQ(torn.kind, trace::RecordingKind::trace);
  EXPECT_EQ(torn.recordCount, 1u);
  EXPECT_EQ(torn.tornBytes, 1 + kReportLength - 10);
  EXPECT_EQ(trace::readRecording(sim::serializeCapture(sim::Capture(2))).capture.size(), 2u);
  const auto at = [](std::size_t offset) { return "corrupt trace: record at byte " + std::to_string(offset) + ": "; };

  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
    std::string error;
  } refused[] = {
      {"foreign", [](auto& b) { b[0] = 'X'; }, "not a trace or capture file"},
      {"unknown version", [](auto& b) { b[8] = 0; }, "a recording of an unknown version (0)"},
      {"newer", [](auto& b) { b[8] = 3; }, "a trace of a newer format (version 3); this program reads up to 2"},
      {"header cut short", [&](auto& b) { b.resize(header - 1); }, "the trace's header is cut short"},
      {"unknown system", [](auto& b) { b[16] = 9; }, "a trace from an unknown system"},
      {"no calls", [&](auto& b) { b.resize(header); }, "the trace holds no calls"},
      // Offsets count from the file's start, where a hex viewer counts them.
      {"unknown call", [&](auto& b) { b[header] = 0x1F; }, at(header) + "unknown call"},
      {"result where none", [&](auto& b) { b[header] |= 0x80; }, at(header) + "a result for now"},
      {"clock going back", [&](auto& b) { b.insert(b.begin() + static_cast<std::ptrdiff_t>(header + 3), {3, 5}); },
       at(header + 3) + "the clock goes back"},
  };
  for (const auto& c : refused) {
    const auto result = with(c.change);
    EXPECT_EQ(result.kind, trace::RecordingKind::refused) << c.what;
    EXPECT_EQ(result.error, c.error) << c.what;
  }

  // Neither the decoder nor the replay reads past what it was given; an
  // exact copy has no spare capacity for a stray read to land in.
  const std::vector<std::uint8_t> exact(good);
  trace::TraceDecoder decoder{std::span(exact).subspan(header)};
  std::size_t whole = 0;
  while (decoder.next(record) == trace::DecodeStatus::ok) ++whole;
  EXPECT_EQ(whole, 2u);
  EXPECT_TRUE(decoder.atEnd());
  EXPECT_EQ(decoder.next(record), trace::DecodeStatus::torn);
  trace::Recording unread = trace::readRecording(exact);
  unread.bytes.clear();
  const trace::ReplayResult none = trace::replayTrace(unread);
  EXPECT_FALSE(none.complete || none.diverged);
  EXPECT_EQ(none.stopReason, "nothing to replay: not a trace that holds its bytes (readRecording)");

  // A transport that could not be made ends the worker, as on the host,
  // instead of an exception out of the replay (the fuzzer found it).
  std::vector<std::uint8_t> failed = trace::encodeHeader(trace::ownHeader());
  trace::TraceEncoder steps;
  trace::TraceRecord step;
  step.call = trace::TraceCall::wait;  // wait(0), no stop
  steps.encode(step, failed);
  step.call = trace::TraceCall::enumerate;
  step.devices = {HidDeviceInfo{u"/dev/hidraw0", u"K1", ""}};
  steps.encode(step, failed);
  step.call = trace::TraceCall::createTransport;
  steps.encode(step, failed);
  const trace::ReplayResult stopped = trace::replayTrace(trace::readRecording(failed));
  EXPECT_EQ(stopped.stopReason, "the worker stopped: Transport allocation failed");
  EXPECT_FALSE(stopped.diverged);
}

// The committed traces, recorded on other systems (each with the command that
// made it, in tests/traces/README.md), replay here to what they showed there.
TEST(TraceReplayTest, CommittedTracesReplayToTheirRecordedResults) {
  for (const char* name : {"mac_unplug", "windows_session", "linux_kernel"}) {
    const std::string base = std::string(PELMORA_TRACE_DIR) + "/" + name;
    const trace::Recording read = trace::readRecordingFile(base + ".trace");
    ASSERT_EQ(read.kind, trace::RecordingKind::trace) << read.error;
    std::ifstream expected(base + ".expected");
    const std::string want((std::istreambuf_iterator<char>(expected)), std::istreambuf_iterator<char>());
    EXPECT_EQ(trace::describeTraceOrigin(read) + trace::describeReplay(trace::replayTrace(read)), want) << name;
  }
}

}  // namespace
}  // namespace pelmora::replay
