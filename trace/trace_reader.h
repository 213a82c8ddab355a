#pragma once
// Reading a recording a user sent: a trace (trace_format.h) or a capture of
// input reports (sim/capture.h), told apart by the version after their
// common magic. It may have been cut short while it was written (a torn
// last record is left out, the whole records before it are kept) and it may
// be anything else at all. Every refusal is one line that names the format
// and says why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/capture.h"
#include "trace/trace_format.h"

namespace pelmora::trace {

// Larger files are refused before they are read into memory.
inline constexpr std::size_t kRecordingMaxFileBytes = std::size_t{1} << 30;

enum class RecordingKind { refused, capture, trace };

struct Recording {
  RecordingKind kind = RecordingKind::refused;
  std::string error;          // why it was refused, one line
  std::size_t tornBytes = 0;  // an unfinished last record, left out
  sim::Capture capture;       // a capture's reports
  // A trace: its header, where its whole records lie in its bytes.
  TraceHeader header;
  std::size_t recordsBegin = 0;
  std::size_t recordsEnd = 0;
  std::size_t recordCount = 0;
  std::vector<std::uint8_t> bytes;
};

// Checks the header and every record.
Recording readRecording(std::vector<std::uint8_t> bytes);
// The same from a file, reading at most kRecordingMaxFileBytes; a refusal
// starts with the path.
Recording readRecordingFile(const std::string& path);

}  // namespace pelmora::trace
