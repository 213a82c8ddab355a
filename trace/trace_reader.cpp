#include "trace/trace_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/protocol/byte_order.h"
#include "sim/capture_reader.h"
#include "trace/trace_blocks.h"

namespace pelmora::trace {
namespace {

constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kReportLengthOffset = 12;
constexpr std::size_t kSystemOffset = 16;
constexpr std::size_t kVersionTextLengthOffset = 17;
constexpr std::size_t kLimitOffset = 18;
constexpr std::size_t kReadChunk = std::size_t{1} << 16;
// What a person can do about a refusal.
constexpr const char* kAskAgain = "; ask for the file again";
constexpr const char* kRecordAgain = "; record it again";
constexpr const char* kUseRecorder = "; replay it with the program that recorded it";
constexpr const char* kChooseRecording = "; choose the file that --record wrote";

Recording refuse(std::string why) {
  Recording result;
  result.error = std::move(why);
  return result;
}

Recording refuseDamage(std::string why) {
  Recording result = refuse(std::move(why) + kAskAgain);
  result.damaged = true;
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

// Header fields after the magic and the version; from version 3 on, checked
// first, so that damage there is not taken for another kind of trace.
Recording readHeader(std::span<const std::uint8_t> bytes, std::uint32_t version) {
  const std::string cutShort = std::string("the trace's header is cut short") + kRecordAgain;
  const std::string damaged = "the trace's header is damaged";
  if (bytes.size() < kTraceFixedHeaderLength) return refuse(cutShort);
  const std::size_t textLength = bytes[kVersionTextLengthOffset];
  if (textLength > kTraceMaxVersionText) return refuseDamage(damaged);
  const std::size_t textEnd = kTraceFixedHeaderLength + textLength;
  const std::size_t checkLength = version == kOldestTraceVersion ? 0 : kTraceHeaderCheckLength;
  if (bytes.size() < textEnd + checkLength) return refuse(cutShort);
  if (checkLength != 0 && crc32(bytes.first(textEnd)) != readU32(&bytes[textEnd])) {
    return refuseDamage("damaged trace: the header does not match its check");
  }
  if (readU32(&bytes[kReportLengthOffset]) != kReportLength) {
    return refuse(std::string("a trace of another report length") + kUseRecorder);
  }
  if (!knownSystem(bytes[kSystemOffset])) return refuse(std::string("a trace from an unknown system") + kUseRecorder);
  const auto text = bytes.subspan(kTraceFixedHeaderLength, textLength);
  if (!printable(text)) return refuseDamage(damaged);
  Recording result;
  result.kind = RecordingKind::trace;
  result.header.system = static_cast<HostSystem>(bytes[kSystemOffset]);
  result.header.limitMiB = readU32(&bytes[kLimitOffset]);
  result.header.programVersion.assign(text.begin(), text.end());
  result.recordsBegin = textEnd + checkLength;
  return result;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The records of a version 2 trace, which has no blocks: one span, in place.
TraceBlocks unblocked(std::span<const std::uint8_t> file, std::size_t begin) {
  TraceBlocks blocks;
  blocks.starts.push_back({0, begin});
  blocks.end = file.size();
  return blocks;
}

Recording readTrace(std::span<const std::uint8_t> file, std::uint32_t version) {
  Recording result = readHeader(file, version);
  if (result.kind != RecordingKind::trace) return result;
  const bool current = version == kTraceVersion;
  TraceBlocks blocks = current ? readBlocks(file, result.recordsBegin) : unblocked(file, result.recordsBegin);
  if (!blocks.damage.empty()) return refuseDamage("damaged trace: " + blocks.damage);
  const auto records = current ? std::span<const std::uint8_t>(blocks.payload) : file.subspan(result.recordsBegin);
  TraceDecoder decoder(records, version);
  TraceEncoder encoder;
  TraceRecord record;
  while (!decoder.atEnd()) {
    const DecodeStatus status = decoder.next(record);
    if (status == DecodeStatus::corrupt) {
      return refuseDamage("damaged trace: record at byte " + std::to_string(blocks.fileOffset(decoder.position())) +
                          ": " + decoder.error());
    }
    if (status == DecodeStatus::torn) break;
    ++result.recordCount;
    if (record.call == TraceCall::limit && !decoder.atEnd()) {
      return refuseDamage("damaged trace: records after the end of the recording");
    }
    if (!current) encoder.encode(record, result.bytes);
  }
  if (result.recordCount == 0) return refuse(std::string("the trace holds no calls") + kRecordAgain);
  result.tornBytes = file.size() - blocks.fileOffset(decoder.position());
  if (current) {
    result.bytes = std::move(blocks.payload);
    result.bytes.resize(decoder.position());
  }
  result.recordsBegin = 0;
  result.recordsEnd = result.bytes.size();
  return result;
}

Recording readCapture(std::span<const std::uint8_t> bytes) {
  sim::CaptureReadResult read = sim::readCapture(bytes);
  if (!read.capture) return refuse(std::move(read.error));
  Recording result;
  result.kind = RecordingKind::capture;
  result.capture = std::move(*read.capture);
  result.fileBytes = bytes.size();
  result.tornBytes = read.tornBytes;
  return result;
}

}  // namespace

Recording readRecording(std::vector<std::uint8_t> bytes) {
  if (bytes.size() < kVersionOffset + 4) {
    return refuse(std::string("not a trace or capture file (too short for its header)") + kChooseRecording);
  }
  if (std::memcmp(bytes.data(), kTraceMagic, kTraceMagicLength) != 0) {
    return refuse(std::string("not a trace or capture file") + kChooseRecording);
  }
  const std::uint32_t version = readU32(&bytes[kVersionOffset]);
  if (version == sim::kCaptureVersion) return readCapture(bytes);
  if (version > kTraceVersion) {
    return refuse("a trace of version " + std::to_string(version) +
                  ", from a newer program: this one reads up to version " + std::to_string(kTraceVersion) +
                  "; replay it with the newer one");
  }
  if (version < kOldestTraceVersion) {
    return refuse("a trace or capture of an unknown version (" + std::to_string(version) + ")" + kUseRecorder);
  }
  Recording result = readTrace(bytes, version);
  result.fileBytes = bytes.size();
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
    if (bytes.size() > kRecordingMaxFileBytes) return refuse(path + ": larger than a trace or capture can be" + kChooseRecording);
  } while (got == kReadChunk);
  if (std::ferror(file.get())) return refuse("cannot read " + path);
  Recording result = readRecording(std::move(bytes));
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

std::string describeCut(const Recording& recording) {
  if (recording.kind == RecordingKind::refused || recording.tornBytes == 0) return {};
  const bool trace = recording.kind == RecordingKind::trace;
  return std::string("the ") + (trace ? "trace" : "capture") + " was cut short at byte " +
         std::to_string(recording.fileBytes - recording.tornBytes) +
         " (its recording did not finish); the " + (trace ? "calls" : "reports") + " before it replay";
}

}  // namespace pelmora::trace
