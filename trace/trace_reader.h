#pragma once
// Reading a recording a user sent: a trace (trace_format.h) or a capture of
// input reports (sim/capture.h), told apart by the version after their
// common magic. It may have been cut short while it was written (a torn
// last record or block is left out, the whole ones before it are kept), it
// may have been damaged on its way (a trace's checks tell where), and it may
// be anything else at all. Every refusal is one line that names the format,
// says why and, where something can be done, what.
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
  bool damaged = false;       // refused because its checks or records show damage
  std::size_t fileBytes = 0;
  std::size_t tornBytes = 0;  // the file's unfinished end (a record, a block), left out
  sim::Capture capture;       // a capture's reports
  // A trace: its header, and its whole records as one span of `bytes`, as
  // this program encodes them (an older version's are encoded again).
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

// One line when the file ends before its recording did (the program was
// killed while it recorded): where, and that what came before it replays.
// Empty for a whole file.
std::string describeCut(const Recording& recording);

}  // namespace pelmora::trace
