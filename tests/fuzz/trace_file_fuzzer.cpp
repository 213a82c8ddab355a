// The trace reader behind `pelmora --replay` and the replay that answers the
// real engine from what it accepts: whatever the bytes, the reader either
// refuses them with a reason or accepts whole records that decode and
// re-encode to themselves, and the replay ends within the trace.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace {

constexpr std::size_t kReplayEvery = 1024;

void require(bool condition) {
  if (!condition) std::abort();
}

// Picks the inputs that are replayed; their length would pick mostly the
// longest, which the fuzzer makes most often.
std::uint32_t contentHash(std::span<const std::uint8_t> bytes) {
  std::uint32_t hash = 2166136261u;
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 16777619u;
  return hash;
}

// Each record, encoded again, decodes to the same record.
void requireRoundTrip(const pelmora::trace::Recording& result, std::span<const std::uint8_t> bytes) {
  using namespace pelmora::trace;
  TraceDecoder decoder(bytes.subspan(result.recordsBegin, result.recordsEnd - result.recordsBegin));
  TraceEncoder encoder;
  std::vector<std::uint8_t> again;
  TraceRecord record;
  std::size_t count = 0;
  while (!decoder.atEnd()) {
    require(decoder.next(record) == DecodeStatus::ok);
    encoder.encode(record, again);
    ++count;
  }
  require(count == result.recordCount);
  TraceDecoder second(again);
  TraceRecord other;
  record = TraceRecord{};
  decoder = TraceDecoder(bytes.subspan(result.recordsBegin, result.recordsEnd - result.recordsBegin));
  while (!second.atEnd()) {
    require(second.next(other) == DecodeStatus::ok && decoder.next(record) == DecodeStatus::ok);
    require(other.call == record.call && other.ok == record.ok && other.value == record.value &&
            other.report == record.report && other.path == record.path &&
            other.devices.size() == record.devices.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmora::trace;
  const std::span<const std::uint8_t> bytes(data, size);
  Recording result = readRecording({data, data + size});
  if (result.kind == RecordingKind::refused) {
    require(!result.error.empty() && result.error.find('\n') == std::string::npos);
    return 0;
  }
  if (result.kind == RecordingKind::capture) return 0;
  require(result.recordCount > 0 && result.recordsBegin <= result.recordsEnd);
  require(result.recordsEnd + result.tornBytes == size);
  requireRoundTrip(result, bytes);
  // A replay costs some thousand readings (a worker, its frames, the status
  // screens): one accepted input in kReplayEvery goes through it, so that
  // the reader still gets the bulk of the runs.
  if (contentHash(bytes) % kReplayEvery != 0) return 0;
  const ReplayResult replay = replayTrace(result);
  require(replay.callsAnswered <= result.recordCount);
  require(replay.complete || !replay.stopReason.empty());
  return 0;
}
