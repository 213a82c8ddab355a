#pragma once
// Reading a trace a user sent: it may have been cut short while it was
// written (a torn last record is left out, the whole records before it are
// kept) and it may be anything else at all. Every refusal is one line that
// says why. A version-1 file is a capture of input reports only; it is
// recognised here and left to the capture reader.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "trace/trace_format.h"

namespace pelmora::trace {

// Larger files are refused before they are read into memory.
inline constexpr std::size_t kTraceMaxFileBytes = std::size_t{1} << 30;

enum class TraceFileKind { refused, capture, trace };

struct TraceReadResult {
  TraceFileKind kind = TraceFileKind::refused;
  std::string error;  // why it was refused, one line
  TraceHeader header;
  std::size_t recordsBegin = 0;  // offsets of the whole records in the bytes
  std::size_t recordsEnd = 0;
  std::size_t recordCount = 0;
  std::size_t tornBytes = 0;  // an unfinished last record, left out
  std::vector<std::uint8_t> bytes;  // the file, when read by readTraceFile
};

// Checks the header and every record; does not keep the bytes.
TraceReadResult readTrace(std::span<const std::uint8_t> bytes);
// The same from a file, reading at most kTraceMaxFileBytes, keeping them.
TraceReadResult readTraceFile(const std::string& path);

}  // namespace pelmora::trace
