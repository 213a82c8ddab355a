#pragma once
// Reading a capture file that a user hands over: it may have been cut short
// while it was written (a crash loses at most the record in progress, so a
// torn last record is dropped, not held against the rest), and it may be
// anything else at all. Every refusal comes with one line saying why.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/capture.h"

namespace pelmora::sim {

struct CaptureReadResult {
  std::optional<Capture> capture;  // empty when refused
  std::string error;               // why it was refused, one line
  std::size_t tornBytes = 0;       // bytes of an unfinished last record, dropped
};

// Accepts a header and any number of whole records (at least one), plus a
// torn tail. Refuses a foreign or newer header and times that go backwards.
// Files are read, and told from traces, by trace/trace_reader.h.
CaptureReadResult readCapture(std::span<const std::uint8_t> bytes);

}  // namespace pelmora::sim
