#include "trace/trace_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/protocol/byte_order.h"
#include "sim/capture_reader.h"

namespace pelmora::trace {
namespace {

constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kReportLengthOffset = 12;
constexpr std::size_t kSystemOffset = 16;
constexpr std::size_t kVersionTextLengthOffset = 17;
constexpr std::size_t kLimitOffset = 18;
constexpr std::size_t kReadChunk = std::size_t{1} << 16;

Recording refuse(std::string why) {
  Recording result;
  result.error = std::move(why);
  return result;
}

bool knownSystem(std::uint8_t value) {
  return value >= static_cast<std::uint8_t>(HostSystem::linuxOs) && value <= static_cast<std::uint8_t>(HostSystem::macOs);
}

bool printable(std::span<const std::uint8_t> text) {
  for (std::uint8_t c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// Header fields after the magic and the version.
Recording readHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kTraceFixedHeaderLength) return refuse("the trace's header is cut short");
  if (readU32(&bytes[kReportLengthOffset]) != kReportLength) return refuse("a trace of another report length");
  if (!knownSystem(bytes[kSystemOffset])) return refuse("a trace from an unknown system");
  const std::size_t textLength = bytes[kVersionTextLengthOffset];
  if (textLength > kTraceMaxVersionText) return refuse("the trace's header is damaged");
  if (bytes.size() < kTraceFixedHeaderLength + textLength) return refuse("the trace's header is cut short");
  const auto text = bytes.subspan(kTraceFixedHeaderLength, textLength);
  if (!printable(text)) return refuse("the trace's header is damaged");
  Recording result;
  result.kind = RecordingKind::trace;
  result.header.system = static_cast<HostSystem>(bytes[kSystemOffset]);
  result.header.limitMiB = readU32(&bytes[kLimitOffset]);
  result.header.programVersion.assign(text.begin(), text.end());
  result.recordsBegin = kTraceFixedHeaderLength + textLength;
  return result;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

Recording readTrace(std::span<const std::uint8_t> bytes) {
  Recording result = readHeader(bytes);
  if (result.kind != RecordingKind::trace) return result;
  TraceDecoder decoder(bytes.subspan(result.recordsBegin), result.recordsBegin);
  TraceRecord record;
  while (!decoder.atEnd()) {
    const DecodeStatus status = decoder.next(record);
    if (status == DecodeStatus::corrupt) return refuse("corrupt trace: " + decoder.error());
    if (status == DecodeStatus::torn) break;
    ++result.recordCount;
    if (record.call == TraceCall::limit && !decoder.atEnd()) {
      return refuse("corrupt trace: records after the end of the recording");
    }
  }
  result.recordsEnd = result.recordsBegin + decoder.position();
  result.tornBytes = bytes.size() - result.recordsEnd;
  if (result.recordCount == 0) return refuse("the trace holds no calls");
  return result;
}

Recording readCapture(std::span<const std::uint8_t> bytes) {
  sim::CaptureReadResult read = sim::readCapture(bytes);
  if (!read.capture) return refuse(std::move(read.error));
  Recording result;
  result.kind = RecordingKind::capture;
  result.capture = std::move(*read.capture);
  result.tornBytes = read.tornBytes;
  return result;
}

}  // namespace

Recording readRecording(std::vector<std::uint8_t> bytes) {
  if (bytes.size() < kVersionOffset + 4) return refuse("not a trace or capture file (too short for its header)");
  if (std::memcmp(bytes.data(), kTraceMagic, kTraceMagicLength) != 0) return refuse("not a trace or capture file");
  const std::uint32_t version = readU32(&bytes[kVersionOffset]);
  if (version == sim::kCaptureVersion) return readCapture(bytes);
  if (version > kTraceVersion) {
    return refuse("a trace of a newer format (version " + std::to_string(version) + "); this program reads up to " +
                  std::to_string(kTraceVersion));
  }
  if (version != kTraceVersion) return refuse("a recording of an unknown version (" + std::to_string(version) + ")");
  Recording result = readTrace(bytes);
  if (result.kind == RecordingKind::trace) result.bytes = std::move(bytes);
  return result;
}

Recording readRecordingFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return refuse("cannot open " + path + ": " + std::strerror(errno));
  std::vector<std::uint8_t> bytes;
  std::size_t got = 0;
  do {
    const std::size_t old = bytes.size();
    bytes.resize(old + kReadChunk);
    got = std::fread(bytes.data() + old, 1, kReadChunk, file.get());
    bytes.resize(old + got);
    if (bytes.size() > kRecordingMaxFileBytes) return refuse(path + ": larger than a recording can be");
  } while (got == kReadChunk);
  if (std::ferror(file.get())) return refuse("cannot read " + path);
  Recording result = readRecording(std::move(bytes));
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

}  // namespace pelmora::trace
