// The recording reader behind `pelmora --replay` and the replay that answers
// the real engine from what it accepts: whatever the bytes, the reader
// either refuses them with a reason or accepts whole records that decode and
// re-encode to themselves, written again as blocks they read back the same,
// and the replay ends within the trace. A version 3 input is read once more
// with every check made right, as a writer would have made it: otherwise
// nearly every mutation would end at a check, short of the records.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/protocol/byte_order.h"
#include "trace/trace_blocks.h"
#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace {

using namespace pelmora::trace;

// Every accepted trace goes through the replay, as far as its first this
// many calls: a replay costs some ten times the reading per call (a worker,
// its frames, the status screens), and the fuzzer keeps the seeds' length.
constexpr std::size_t kReplayCalls = 1000;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kVersionTextLengthOffset = 17;

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
// first kReplayCalls records end.
std::size_t requireRoundTrip(const Recording& result) {
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

// The records, written as blocks of `blockBytes`, read back the same.
void requireBlocksRoundTrip(const Recording& result, std::size_t blockBytes) {
  std::vector<std::uint8_t> file = encodeHeader(result.header);
  const std::span<const std::uint8_t> records(result.bytes);
  for (std::size_t at = 0; at < records.size(); at += blockBytes) {
    appendBlock(file, records.subspan(at, std::min(blockBytes, records.size() - at)));
  }
  const Recording again = readRecording(file);
  require(again.bytes == result.bytes && again.recordCount == result.recordCount && again.tornBytes == 0);
}

void check(const std::vector<std::uint8_t>& bytes) {
  Recording result = readRecording(bytes);
  if (result.kind == RecordingKind::refused) {
    require(!result.error.empty() && result.error.find('\n') == std::string::npos);
    return;
  }
  if (result.kind == RecordingKind::capture) return;
  require(result.recordCount > 0 && result.recordsBegin == 0 && result.recordsEnd == result.bytes.size());
  require(result.fileBytes == bytes.size() && result.tornBytes < bytes.size());
  result.recordsEnd = requireRoundTrip(result);
  requireBlocksRoundTrip(result, 1 + bytes.size() % 4099);
  const ReplayResult replay = replayTrace(result);
  require(replay.callsAnswered <= std::min(result.recordCount, kReplayCalls));
  require(replay.complete || !replay.stopReason.empty());
}

// Makes the header's check and every whole block's right; false when the
// bytes are not a version 3 trace's.
bool makeChecksRight(std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < kTraceFixedHeaderLength || pelmora::readU32(&bytes[kVersionOffset]) != kTraceVersion) {
    return false;
  }
  const std::size_t textEnd = kTraceFixedHeaderLength + bytes[kVersionTextLengthOffset];
  if (bytes.size() < textEnd + kTraceHeaderCheckLength) return false;
  pelmora::writeU32(&bytes[textEnd], crc32(std::span(bytes).first(textEnd)));
  std::size_t at = textEnd + kTraceHeaderCheckLength;
  while (bytes.size() - at >= kBlockHeaderBytes) {
    const std::size_t length = pelmora::readU32(&bytes[at]);
    if (length > std::min(kMaxBlockPayload, bytes.size() - at - kBlockHeaderBytes)) break;
    sealBlock(std::span(bytes).subspan(at, kBlockHeaderBytes + length));
    at += kBlockHeaderBytes + length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  check(bytes);
  if (makeChecksRight(bytes)) check(bytes);
  return 0;
}
