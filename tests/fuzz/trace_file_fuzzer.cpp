// The recording reader behind `pelmora --replay` and the replay that answers
// the real engine from what it accepts: whatever the bytes, the reader
// either refuses them with a reason or accepts whole records that decode and
// re-encode to themselves, and the replay ends within the trace.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace {

// Every accepted trace goes through the replay, as far as its first this
// many calls: a replay costs some ten times the reading per call (a worker,
// its frames, the status screens), and the fuzzer keeps the seeds' length.
constexpr std::size_t kReplayCalls = 1000;

void require(bool condition) {
  if (!condition) std::abort();
}

bool sameDevices(const pelmora::DeviceList& a, const pelmora::DeviceList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].path != b[i].path || a[i].serial != b[i].serial || a[i].error != b[i].error) return false;
  }
  return true;
}

// Each record, encoded again, decodes to the same record. Returns where the
// first kReplayCalls records end in the file.
std::size_t requireRoundTrip(const pelmora::trace::Recording& result) {
  using namespace pelmora::trace;
  const auto records = std::span(result.bytes).subspan(result.recordsBegin, result.recordsEnd - result.recordsBegin);
  TraceDecoder decoder(records);
  TraceEncoder encoder;
  std::vector<std::uint8_t> again;
  TraceRecord record;
  std::size_t count = 0;
  std::size_t replayEnd = result.recordsEnd;
  while (!decoder.atEnd()) {
    require(decoder.next(record) == DecodeStatus::ok);
    encoder.encode(record, again);
    if (++count == kReplayCalls) replayEnd = result.recordsBegin + decoder.position();
  }
  require(count == result.recordCount);
  TraceDecoder second(again);
  TraceRecord other;
  record = TraceRecord{};
  decoder = TraceDecoder(records);
  while (!second.atEnd()) {
    require(second.next(other) == DecodeStatus::ok && decoder.next(record) == DecodeStatus::ok);
    require(other.call == record.call && other.ok == record.ok && other.received == record.received &&
            other.value == record.value && other.report == record.report && other.path == record.path &&
            sameDevices(other.devices, record.devices));
  }
  require(decoder.atEnd());
  return replayEnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmora::trace;
  Recording result = readRecording({data, data + size});
  if (result.kind == RecordingKind::refused) {
    require(!result.error.empty() && result.error.find('\n') == std::string::npos);
    return 0;
  }
  if (result.kind == RecordingKind::capture) return 0;
  require(result.recordCount > 0 && result.recordsBegin <= result.recordsEnd);
  require(result.recordsEnd + result.tornBytes == size);
  result.recordsEnd = requireRoundTrip(result);
  const ReplayResult replay = replayTrace(result);
  require(replay.callsAnswered <= std::min(result.recordCount, kReplayCalls));
  require(replay.complete || !replay.stopReason.empty());
  return 0;
}
